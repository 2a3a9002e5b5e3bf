#include "Checks.h"

// The settling and the names in messages live in instrument/ (KV508Settle,
// KV508Backup), shared with the window.
