#include "PortProbe.h"
