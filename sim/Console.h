// Commands typed on the simulator's standard input while it runs.
#pragma once

#include "Simulator.h"

#include <QString>

namespace sim {

// Runs one command line and returns the reply to print (never empty).
QString ConsoleCommand(Simulator &simulator, const QString &line);

} // namespace sim
