// One request to the driver: the same buffer goes in and comes back, synchronously.
#include <stdio.h>

#include "DriverInterface.h"

BOOL SendDeviceRequest(DWORD code, void *buffer, DWORD size) {
  DWORD returned = 0;
  if (!DeviceIoControl(g_hDevice, code, buffer, size, buffer, size, &returned, NULL) || returned != size) {
    printf("Error in DeviceIoControl : %d", (int)GetLastError());
    return FALSE;
  }
  return TRUE;
}
