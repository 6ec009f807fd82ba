// What the kernel (platform/win32/ntoskrnl) offers the rest of the platform: loading and unloading driver
// modules for the service control manager, the devices they create, and the I/O manager behind CreateFileA
// and DeviceIoControl on a device. What it offers the drivers themselves is the DDK (include/ddk/ntddk.h).
//
// Drivers run inside this process, as on Windows they run inside the one kernel: a device exists only in the
// process whose service manager started its driver.
#pragma once
#include <windows.h>

#include <ddk/ntddk.h>

#include <memory>
#include <string>
#include <vector>

namespace kvplat {

// Loads the driver module at `imagePath` (separators `\` or `/`) as the driver of service `serviceName` and
// runs its DriverEntry with the service key \Registry\Machine\System\CurrentControlSet\Services\<name>.
// Returns 0 or the Win32 error: ERROR_SERVICE_ALREADY_RUNNING when the service's driver is loaded already,
// the file's open error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED),
// ERROR_BAD_EXE_FORMAT when it is no driver module, ERROR_GEN_FAILURE when DriverEntry fails.
DWORD LoadDriver(const std::string &serviceName, const std::string &imagePath);

// Whether the driver of `serviceName` is loaded in this process. Service names compare case-insensitively.
bool IsDriverLoaded(const std::string &serviceName);

// Runs the driver's DriverUnload, deletes what it left of its devices and links, and unloads the module.
// Returns 0, ERROR_SERVICE_NOT_ACTIVE when it is not loaded, or ERROR_INVALID_SERVICE_CONTROL when the driver
// has no DriverUnload (Windows cannot stop such a driver either).
DWORD UnloadDriver(const std::string &serviceName);

// A device that a driver created. A handle keeps it alive; once it is deleted it is an empty shell on which
// every request fails.
struct DeviceObject;
using DeviceRef = std::shared_ptr<DeviceObject>;

// The device that the link \DosDevices\<name> names (from "\\.\name"; case-insensitive), or null.
DeviceRef FindDevice(const std::string &name);

// The security descriptor the device's driver set on it, in self-relative form (as GetKernelObjectSecurity
// returns one); empty while it has the default one. The kernel keeps it but does not check it: this platform
// has one user, who runs the program.
std::vector<unsigned char> DeviceSecurity(const std::string &name);

// An open file of a device, as CreateFileA("\\.\name") makes one: IRP_MJ_CREATE when it is opened, and
// IRP_MJ_CLEANUP and IRP_MJ_CLOSE when the last reference goes (while the device's driver is loaded).
struct DeviceFile;
using DeviceFileRef = std::shared_ptr<DeviceFile>;

// Opens the device `name` as FindDevice looks it up. Returns 0 and the file, ERROR_FILE_NOT_FOUND when there
// is no such device, ERROR_ACCESS_DENIED when it is exclusive and open already, or the Win32 error of the
// status the driver completed IRP_MJ_CREATE with.
DWORD CreateDeviceFile(const std::string &name, DeviceFileRef *file);

// One METHOD_BUFFERED request, as DeviceIoControl sends it (an IRP of RequestorMode UserMode). Returns 0 when
// the driver completed it with a success status, else the Win32 error; *bytesReturned receives the byte
// count in both cases.
DWORD SendDeviceControl(const DeviceFile &file, DWORD ioControlCode, const void *inBuffer, DWORD inBufferSize,
                        void *outBuffer, DWORD outBufferSize, DWORD *bytesReturned);


}  // namespace kvplat
