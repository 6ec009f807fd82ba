// What the kernel (platform/win32/ntoskrnl) offers the rest of the platform: loading and unloading driver
// modules for the service control manager, the namespace of the devices they create, and the I/O manager
// behind DeviceIoControl. The contract with the modules themselves is ddk/kvddk.h.
//
// Drivers run inside this process, as on Windows they run inside the one kernel: a device exists only in the
// process whose service manager started its driver.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "kvddk.h"

namespace kvplat {

// A device that a driver created. A handle keeps it alive; once its driver is unloaded it is an empty shell
// on which every request fails.
struct DeviceObject;
using DeviceRef = std::shared_ptr<DeviceObject>;

// Loads the driver module at `imagePath` (separators `\` or `/`) as the driver of service `serviceName` and
// runs its DriverEntry. Returns 0 or the Win32 error: ERROR_SERVICE_ALREADY_RUNNING when the service's
// driver is loaded already, the file's open error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
// ERROR_ACCESS_DENIED), ERROR_BAD_EXE_FORMAT when it is no driver module, ERROR_GEN_FAILURE when DriverEntry
// fails.
DWORD LoadDriver(const std::string &serviceName, const std::string &imagePath);

// Whether the driver of `serviceName` is loaded in this process. Service names compare case-insensitively.
bool IsDriverLoaded(const std::string &serviceName);

// Deletes the driver's devices, runs its DriverUnload and unloads the module. Returns 0,
// ERROR_SERVICE_NOT_ACTIVE when it is not loaded, or ERROR_INVALID_SERVICE_CONTROL when the driver has no
// DriverUnload (Windows cannot stop such a driver either).
DWORD UnloadDriver(const std::string &serviceName);

// The device `name` (from "\\.\name"; case-insensitive), or null when no loaded driver created it.
DeviceRef FindDevice(const std::string &name);

// One METHOD_BUFFERED request to `device`, as DeviceIoControl sends it. Returns 0 when the driver completed
// it with a success status, else the Win32 error; *bytesReturned receives the byte count in both cases.
DWORD SendDeviceControl(const DeviceRef &device, DWORD ioControlCode, const void *inBuffer, DWORD inBufferSize,
                        void *outBuffer, DWORD outBufferSize, DWORD *bytesReturned);

// The kernel's trace session: every line that a driver hands to TraceMessage is appended to `fd` (a file
// opened for appending), each in one write, so that the lines of several processes tracing into one file
// stay whole. A failed write is reported once (ReportOutputFailure) and ends the session. -1 ends it too.
void SetTraceFile(int fd, const std::string &path);

// RtlNtStatusToDosError: the Win32 error for an NTSTATUS.
DWORD NtStatusToDosError(NTSTATUS status);

}  // namespace kvplat
