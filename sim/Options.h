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
};

enum class ParseOutcome { Run, Help, Version, Error };

// args without the program name.
ParseOutcome ParseOptions(const QStringList &args, Options &options, QString &error);
QString HelpText();

} // namespace sim
