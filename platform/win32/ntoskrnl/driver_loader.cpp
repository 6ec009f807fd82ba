// Loading a driver module as StartServiceA does for a kernel driver, and unloading it at its stop.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "kernel_state.h"
#include "kernel_strings.h"
#include "kvplat/machine_setting.h"
#include "kvplat/diag.h"
#include "kvplat/errno_map.h"
#include "module_image.h"

namespace kvplat {

namespace {

constexpr char kEntryName[] = "DriverEntry";

LoadedDriver *FindDriver(KernelState &kernel, const std::string &serviceKey) {
  for (auto &driver : kernel.drivers) {
    if (driver->serviceKey == serviceKey) return driver.get();
  }
  return nullptr;
}

void Forget(KernelState &kernel, const LoadedDriver *gone) {
  for (auto it = kernel.drivers.begin(); it != kernel.drivers.end(); ++it) {
    if (it->get() == gone) {
      kernel.drivers.erase(it);
      return;
    }
  }
}

// What every major function that a driver does not handle answers, as Windows' IopInvalidDeviceRequest.
NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT, PIRP irp) {
  irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return STATUS_INVALID_DEVICE_REQUEST;
}

}  // namespace

DWORD LoadDriver(const std::string &serviceName, const std::string &imagePath) {
  KernelState &kernel = Kernel();
  std::lock_guard<std::recursive_mutex> lock(kernel.mutex);
  const std::string key = FoldCase(serviceName);
  if (FindDriver(kernel, key) != nullptr) return ERROR_SERVICE_ALREADY_RUNNING;

  std::string path = LinuxPath(imagePath.c_str());
  if (path.find('/') == std::string::npos) path = "./" + path;  // a bare name must not search the library path
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return error == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(error);
  }
  std::string broken;
  const bool whole = ModuleImageIsWhole(fd, &broken);
  ::close(fd);
  if (!whole) {
    Diag("%s is not a driver module: %s", path.c_str(), broken.c_str());
    return ERROR_BAD_EXE_FORMAT;
  }

  void *module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char *why = ::dlerror();
    Diag("%s is not a driver module: %s", path.c_str(), why ? why : "it cannot be loaded");
    return ERROR_BAD_EXE_FORMAT;
  }
  for (auto &driver : kernel.drivers) {
    if (driver->module == module) {  // one image serves one service, as on Windows
      ::dlclose(module);
      return ERROR_SERVICE_ALREADY_RUNNING;
    }
  }
  auto entry = reinterpret_cast<PDRIVER_INITIALIZE>(::dlsym(module, kEntryName));
  if (entry == nullptr) {
    Diag("%s is not a driver module: it has no %s", path.c_str(), kEntryName);
    ::dlclose(module);
    return ERROR_BAD_EXE_FORMAT;
  }

  auto owned = std::make_unique<LoadedDriver>();
  LoadedDriver *driver = owned.get();
  driver->serviceKey = key;
  driver->module = module;
  driver->object.Type = 4;  // IO_TYPE_DRIVER
  driver->object.Size = sizeof(DRIVER_OBJECT);
  for (PDRIVER_DISPATCH &routine : driver->object.MajorFunction) routine = InvalidDeviceRequest;
  driver->registryPath = Utf16Of("\\Registry\\Machine\\System\\CurrentControlSet\\Services\\" + serviceName);
  UNICODE_STRING registryPath;
  registryPath.Buffer = driver->registryPath.data();
  registryPath.Length = registryPath.MaximumLength = static_cast<USHORT>(driver->registryPath.size() * sizeof(WCHAR));
  kernel.drivers.push_back(std::move(owned));  // listed first: DriverEntry creates its devices through it
  ApplyMachineSetting();

  const NTSTATUS status = entry(&driver->object, &registryPath);
  if (!NT_SUCCESS(status)) {
    // The driver says why on its own. What it created goes with it, so that no routine of an unloaded
    // module stays reachable; DriverUnload is not called for a failed start.
    DeleteDevicesOf(*driver);
    Forget(kernel, driver);
    ::dlclose(module);
    return ERROR_GEN_FAILURE;
  }
  // The I/O manager opens the devices made in DriverEntry for use, as Windows does when DriverEntry returns.
  for (DEVICE_OBJECT *device = driver->object.DeviceObject; device; device = device->NextDevice)
    device->Flags &= ~DO_DEVICE_INITIALIZING;
  return ERROR_SUCCESS;
}

bool IsDriverLoaded(const std::string &serviceName) {
  KernelState &kernel = Kernel();
  std::lock_guard<std::recursive_mutex> lock(kernel.mutex);
  return FindDriver(kernel, FoldCase(serviceName)) != nullptr;
}

DWORD UnloadDriver(const std::string &serviceName) {
  KernelState &kernel = Kernel();
  std::lock_guard<std::recursive_mutex> lock(kernel.mutex);
  LoadedDriver *driver = FindDriver(kernel, FoldCase(serviceName));
  if (driver == nullptr) return ERROR_SERVICE_NOT_ACTIVE;
  if (driver->object.DriverUnload == nullptr) return ERROR_INVALID_SERVICE_CONTROL;
  driver->object.DriverUnload(&driver->object);
  DeleteDevicesOf(*driver);  // what the driver left
  void *module = driver->module;
  Forget(kernel, driver);
  ::dlclose(module);
  return ERROR_SUCCESS;
}

}  // namespace kvplat
