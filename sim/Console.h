// Commands typed on the simulator's standard input while it runs.
#pragma once

#include "Simulator.h"

#include <QString>

namespace sim {

struct ConsoleReply {
    QString text;             // the reply for the console (never empty)
    bool forPrograms = false; // a line for programs, on standard output as it is
};

// Runs one command line.
ConsoleReply RunConsoleCommand(Simulator &simulator, const QString &line);
// The same, the reply's text only.
QString ConsoleCommand(Simulator &simulator, const QString &line);

} // namespace sim
