// Discovery of the serial ports that can be opened now.
#pragma once

#include <QStringList>
