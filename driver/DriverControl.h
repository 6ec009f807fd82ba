// Installing, starting, stopping and deleting the kernel service of KELVORANT.sys, and opening its device.
#pragma once

#include <windows.h>
#include <winsvc.h>

#define DRIVER_SERVICE_NAME "KELVORANT"
#define DRIVER_FILE_EXTENSION ".sys"
#define DRIVER_DEVICE_PATH "\\\\.\\Kelvorant"

// ManageDriver function codes.
#define DRIVER_FUNC_INSTALL 0x01  // create the service, then start it
#define DRIVER_FUNC_REMOVE 0x02   // stop the service, then delete it

BOOL ManageDriver(LPCSTR serviceName, LPCSTR driverPath, USHORT function);
BOOL InstallDriverService(SC_HANDLE scManager, LPCSTR serviceName, LPCSTR driverPath);
BOOL StartDriverService(SC_HANDLE scManager, LPCSTR serviceName);
BOOL StopDriverService(SC_HANDLE scManager, LPCSTR serviceName);
BOOL DeleteDriverService(SC_HANDLE scManager, LPCSTR serviceName);

// Fills driverPath (MAX_PATH characters) with <current directory>\KELVORANT.sys and checks that it exists.
BOOL LocateDriverFile(LPSTR driverPath);

// Opens \\.\Kelvorant into g_hDevice, installing and starting the service when the device does not exist.
// Returns 1 when the device is open, 0 when not.
int OpenDriverDevice(LPSTR driverPath);

// Stops and deletes the service.
BOOL UninstallDriver();
