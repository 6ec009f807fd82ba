// The kernel's own state: the loaded drivers and the namespace of their devices. One lock serialises
// loading, unloading and every request, so a driver is never unloaded while one of its routines runs. It is
// recursive because a driver calls back into the kernel (IoCreateDevice) from DriverEntry.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kvplat/io_manager.h"

namespace kvplat {

struct DeviceObject {
  std::string name;                    // as the driver spelled it
  KV_DRIVER_OBJECT *driver = nullptr;  // null once the device is deleted
};

struct LoadedDriver {
  std::string serviceKey;  // the service name folded to lower case
  void *module = nullptr;  // from dlopen
  KV_DRIVER_OBJECT object{};
  std::vector<DeviceRef> devices;
};

struct KernelState {
  std::recursive_mutex mutex;
  std::vector<std::unique_ptr<LoadedDriver>> drivers;
  std::map<std::string, DeviceRef> devices;  // key: the device name folded to lower case
};

// Never destroyed, so that drivers still loaded at exit stay reachable and are not torn down under a
// program that is still running its static destructors.
KernelState &Kernel();

// Object and service names compare case-insensitively, as on Windows.
std::string FoldCase(const std::string &name);

// The kernel services handed to every driver object.
NTSTATUS KernelIoCreateDevice(KV_DRIVER_OBJECT *driverObject, const char *name);
void KernelDbgPrint(const char *text);
void KernelTraceMessage(const char *line);

// Removes the driver's devices from the namespace and cuts them off from the driver. Caller holds the lock.
void DeleteDevicesOf(LoadedDriver &driver);

}  // namespace kvplat
