// The namespace of devices: IoCreateDevice enters \Device\Name with its \DosDevices\Name link, which is what
// CreateFileA("\\.\Name") looks up.
#include <cctype>

#include "kernel_state.h"
#include "kvplat/diag.h"

namespace kvplat {

namespace {
constexpr NTSTATUS kStatusObjectNameInvalid = static_cast<NTSTATUS>(0xC0000033L);
}

KernelState &Kernel() {
  static KernelState *state = new KernelState;
  return *state;
}

std::string FoldCase(const std::string &name) {
  std::string folded = name;
  for (char &c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

NTSTATUS KernelIoCreateDevice(KV_DRIVER_OBJECT *driverObject, const char *name) {
  KernelState &kernel = Kernel();
  std::lock_guard<std::recursive_mutex> lock(kernel.mutex);
  LoadedDriver *owner = nullptr;
  for (auto &driver : kernel.drivers) {
    if (&driver->object == driverObject) owner = driver.get();
  }
  if (owner == nullptr) return STATUS_INVALID_PARAMETER;
  if (name == nullptr || name[0] == '\0' || std::string(name).find_first_of("\\/") != std::string::npos) {
    return kStatusObjectNameInvalid;
  }
  const std::string key = FoldCase(name);
  if (kernel.devices.count(key) != 0) return STATUS_OBJECT_NAME_COLLISION;
  auto device = std::make_shared<DeviceObject>();
  device->name = name;
  device->driver = driverObject;
  kernel.devices.emplace(key, device);
  owner->devices.push_back(std::move(device));
  return STATUS_SUCCESS;
}

void DeleteDevicesOf(LoadedDriver &driver) {
  KernelState &kernel = Kernel();
  for (auto &device : driver.devices) {
    kernel.devices.erase(FoldCase(device->name));
    device->driver = nullptr;  // handles still open now fail their requests
  }
  driver.devices.clear();
}

DeviceRef FindDevice(const std::string &name) {
  KernelState &kernel = Kernel();
  std::lock_guard<std::recursive_mutex> lock(kernel.mutex);
  auto it = kernel.devices.find(FoldCase(name));
  return it == kernel.devices.end() ? nullptr : it->second;
}

void KernelDbgPrint(const char *text) {
  if (text == nullptr) return;
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  Diag("%s", line.c_str());
}

}  // namespace kvplat
