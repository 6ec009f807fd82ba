// The process-wide handle of the driver's device.
#include "DriverInterface.h"

// Zero until the first open attempt; after a failed attempt INVALID_HANDLE_VALUE. Never closed by the
// program: the process exit closes it.
HANDLE g_hDevice = 0;
