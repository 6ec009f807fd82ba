// Installing, starting, stopping and deleting the kernel service of KELVORANT.sys, and opening its device.
// Every failure is reported once, here, on standard output.
#include "DriverControl.h"

#include <stdio.h>
#include <string.h>

#include "DriverInterface.h"

BOOL ManageDriver(LPCSTR serviceName, LPCSTR driverPath, USHORT function) {
  // Removal needs no driver path; installation does.
  if (serviceName == NULL || (driverPath == NULL && function != DRIVER_FUNC_REMOVE)) {
    printf("Invalid Driver or Service provided to ManageDriver() \n");
    return FALSE;
  }

  SC_HANDLE scManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (scManager == NULL) {
    printf("Open SC Manager failed! Error = %d \n", (int)GetLastError());
    return FALSE;
  }

  BOOL result;
  switch (function) {
    case DRIVER_FUNC_INSTALL:
      if (!InstallDriverService(scManager, serviceName, driverPath)) {
        result = FALSE;
      } else {
        result = StartDriverService(scManager, serviceName);
      }
      break;

    case DRIVER_FUNC_REMOVE:
      // Both steps report their own failures; removal succeeds whatever they find.
      StopDriverService(scManager, serviceName);
      DeleteDriverService(scManager, serviceName);
      result = TRUE;
      break;

    default:
      printf("Unknown ManageDriver() function. \n");
      result = FALSE;
      break;
  }

  CloseServiceHandle(scManager);
  return result;
}

BOOL InstallDriverService(SC_HANDLE scManager, LPCSTR serviceName, LPCSTR driverPath) {
  SC_HANDLE service = CreateServiceA(scManager, serviceName, serviceName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, driverPath, NULL, NULL, NULL, NULL,
                                     NULL);
  if (service == NULL) {
    DWORD error = GetLastError();
    // A service left from before is used as it is; its driver path is not updated.
    if (error == ERROR_SERVICE_EXISTS) {
      return TRUE;
    }
    printf("CreateService failed!  Error = %d \n", (int)error);
    return FALSE;
  }
  CloseServiceHandle(service);
  return TRUE;
}

BOOL StartDriverService(SC_HANDLE scManager, LPCSTR serviceName) {
  SC_HANDLE service = OpenServiceA(scManager, serviceName, SERVICE_ALL_ACCESS);
  if (service == NULL) {
    printf("OpenService failed!  Error = %d \n", (int)GetLastError());
    return FALSE;
  }

  BOOL result = TRUE;
  if (!StartServiceA(service, 0, NULL)) {
    DWORD error = GetLastError();
    if (error != ERROR_SERVICE_ALREADY_RUNNING) {
      printf("StartService failure! Error = %d \n", (int)error);
      result = FALSE;
    }
  }
  CloseServiceHandle(service);
  return result;
}

BOOL StopDriverService(SC_HANDLE scManager, LPCSTR serviceName) {
  SC_HANDLE service = OpenServiceA(scManager, serviceName, SERVICE_ALL_ACCESS);
  if (service == NULL) {
    printf("OpenService failed!  Error = %d \n", (int)GetLastError());
    return FALSE;
  }

  SERVICE_STATUS serviceStatus;
  memset(&serviceStatus, 0, sizeof(serviceStatus));
  BOOL result = TRUE;
  if (!ControlService(service, SERVICE_CONTROL_STOP, &serviceStatus)) {
    printf("ControlService failed!  Error = %d \n", (int)GetLastError());
    result = FALSE;
  }
  CloseServiceHandle(service);
  return result;
}

BOOL DeleteDriverService(SC_HANDLE scManager, LPCSTR serviceName) {
  SC_HANDLE service = OpenServiceA(scManager, serviceName, SERVICE_ALL_ACCESS);
  if (service == NULL) {
    printf("OpenService failed!  Error = %d \n", (int)GetLastError());
    return FALSE;
  }

  BOOL result = TRUE;
  if (!DeleteService(service)) {
    printf("DeleteService failed!  Error = %d \n", (int)GetLastError());
    result = FALSE;
  }
  CloseServiceHandle(service);
  return result;
}

BOOL LocateDriverFile(LPSTR driverPath) {
  DWORD directoryLength = GetCurrentDirectoryA(MAX_PATH, driverPath);

  // A result of MAX_PATH or more is the size that the directory would need: it does not fit, and the
  // buffer was left alone. That is reported like any other failure of the call, with
  // ERROR_FILENAME_EXCED_RANGE as its error.
  if (directoryLength >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    directoryLength = 0;
  }
  if (directoryLength == 0) {
    printf("GetCurrentDirectory failed!  Error = %d \n", (int)GetLastError());
    return FALSE;
  }

  // The directory fits but the file name after it would not: no file of that path can be opened, so the
  // check fails the way it fails for a missing file, and nothing is written past the buffer.
  const size_t fileNameLength = 1 + strlen(DRIVER_SERVICE_NAME) + strlen(DRIVER_FILE_EXTENSION);
  if (directoryLength + fileNameLength >= MAX_PATH) {
    printf("Driver: %s.SYS is not in the %s directory. \n", DRIVER_SERVICE_NAME, driverPath);
    return FALSE;
  }

  strcat(driverPath, "\\");
  strcat(driverPath, DRIVER_SERVICE_NAME);
  strcat(driverPath, DRIVER_FILE_EXTENSION);

  HANDLE file = CreateFileA(driverPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    driverPath[directoryLength] = '\0';  // back to the directory, which the message names
    printf("Driver: %s.SYS is not in the %s directory. \n", DRIVER_SERVICE_NAME, driverPath);
    return FALSE;
  }
  CloseHandle(file);
  return TRUE;
}

int OpenDriverDevice(LPSTR driverPath) {
  g_hDevice = CreateFileA(DRIVER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, NULL);
  if (g_hDevice != INVALID_HANDLE_VALUE) {
    return 1;  // the driver is loaded already
  }

  DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND) {
    printf("CreateFile failed!  ERROR_FILE_NOT_FOUND = %d\n", (int)error);
    return 0;
  }

  if (!LocateDriverFile(driverPath)) {
    return 0;
  }

  if (!ManageDriver(DRIVER_SERVICE_NAME, driverPath, DRIVER_FUNC_INSTALL)) {
    printf("Unable to install driver.\n");
    ManageDriver(DRIVER_SERVICE_NAME, driverPath, DRIVER_FUNC_REMOVE);
    return 0;
  }

  g_hDevice = CreateFileA(DRIVER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, NULL);
  if (g_hDevice == INVALID_HANDLE_VALUE) {
    // The service stays installed and running; start-up removes it.
    printf("Error: CreatFile Failed : %d\n", (int)GetLastError());
    return 0;
  }
  return 1;
}

BOOL UninstallDriver() { return ManageDriver(DRIVER_SERVICE_NAME, NULL, DRIVER_FUNC_REMOVE); }
