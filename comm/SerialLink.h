// The POSIX serial link: a port opened by name, watched by a worker thread.
#pragma once

#include "MBLink.h"

#include <memory>

// The link the component uses unless told otherwise.
std::unique_ptr<TMBLink> MakeSerialLink();
