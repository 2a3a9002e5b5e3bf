// Command line of kv508-sim.
#pragma once

#include "Simulator.h"

#include <QString>
#include <QStringList>

namespace sim {

struct Options {
    SimConfig sim;
    bool publish = true;       // the kv508sim<N> link in the virtual-port directory
    bool stdinCommands = true; // read commands from standard input
    bool verbose = false;
    qint64 watchPid = 0;       // end when this process ends (0: none)
    // The serial number of the adapter the published port plays: the tool
    // knows a port again by it when the port returns under another name.
    QString adapterSerial = QStringLiteral("KV508SIM");
};

enum class ParseOutcome { Run, Help, Version, Error };

// args without the program name.
ParseOutcome ParseOptions(const QStringList &args, Options &options, QString &error);
QString HelpText();

// Text from outside (an option's value, a console line) fit for a message:
// control characters (C0, DEL, C1, bidirectional overrides) shown as \xNN or
// \uNNNN, and past maxChars cut with "…".
QString ShownText(const QString &text, qsizetype maxChars = 80);

} // namespace sim
