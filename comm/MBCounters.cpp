// Traffic counters and the speed display.
#include "MB.h"
