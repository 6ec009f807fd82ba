// The object namespace of devices: IoCreateDevice enters \Device\Name, IoCreateSymbolicLink enters
// \DosDevices\Name for it, which is what CreateFileA("\\.\Name") looks up.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "kernel_state.h"
#include "kernel_strings.h"

namespace kvplat {

namespace {

constexpr char kDevicePrefix[] = "\\device\\";
constexpr const char *kLinkPrefixes[] = {"\\dosdevices\\", "\\??\\"};

// The part of a folded link name after \DosDevices\ or \??\, or "" for a name outside them.
std::string LinkKey(const std::string &folded) {
  for (const char *prefix : kLinkPrefixes) {
    const size_t n = std::strlen(prefix);
    if (folded.size() > n && folded.compare(0, n, prefix) == 0) return folded.substr(n);
  }
  return "";
}

// Whether `name` is \Device\X with X a single name.
bool IsDeviceName(const std::string &folded) {
  const size_t n = sizeof kDevicePrefix - 1;
  return folded.size() > n && folded.compare(0, n, kDevicePrefix) == 0 && folded.find('\\', n) == std::string::npos;
}

DeviceObject *RecordOf(const KernelState &kernel, const DEVICE_OBJECT *object) {
  for (const auto &driver : kernel.drivers) {
    for (const auto &device : driver->devices) {
      if (device->object == object) return device.get();
    }
  }
  return nullptr;
}

void Delete(KernelState &kernel, DeviceObject &record) {
  LoadedDriver *driver = record.driver;
  // Out of the driver's list of devices (DRIVER_OBJECT::DeviceObject and NextDevice), then the namespace.
  for (DEVICE_OBJECT **link = &driver->object.DeviceObject; *link; link = &(*link)->NextDevice) {
    if (*link == record.object) {
      *link = record.object->NextDevice;
      break;
    }
  }
  if (!record.name.empty()) kernel.devices.erase(FoldCase(record.name));
  record.object = nullptr;
  record.driver = nullptr;  // handles still open now fail their requests
  record.storage.reset();
  auto &list = driver->devices;
  list.erase(std::remove_if(list.begin(), list.end(), [&](const DeviceRef &d) { return d.get() == &record; }), list.end());
}

}  // namespace

DeviceRef RecordOfDevice(const DEVICE_OBJECT *object) {
  for (const auto &driver : Kernel().drivers) {
    for (const auto &device : driver->devices) {
      if (device->object == object) return device;
    }
  }
  return nullptr;
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

LoadedDriver *DriverOf(const DRIVER_OBJECT *object) {
  for (auto &driver : Kernel().drivers) {
    if (&driver->object == object) return driver.get();
  }
  return nullptr;
}

void DeleteDevicesOf(LoadedDriver &driver) {
  KernelState &kernel = Kernel();
  while (!driver.devices.empty()) {
    const DeviceRef device = driver.devices.back();
    const std::string target = FoldCase(device->name);
    for (auto it = kernel.links.begin(); it != kernel.links.end();) {
      it = !target.empty() && it->second == target ? kernel.links.erase(it) : std::next(it);
    }
    Delete(kernel, *device);
  }
}

DeviceRef FindDevice(const std::string &name) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  auto link = kernel.links.find(FoldCase(name));
  if (link == kernel.links.end()) return nullptr;
  auto device = kernel.devices.find(link->second);
  return device == kernel.devices.end() ? nullptr : device->second;
}

}  // namespace kvplat

using namespace kvplat;

extern "C" NTSTATUS IoCreateDevice(PDRIVER_OBJECT driverObject, ULONG extensionSize, PUNICODE_STRING deviceName,
                                   DEVICE_TYPE deviceType, ULONG characteristics, BOOLEAN exclusive,
                                   PDEVICE_OBJECT *deviceObject) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  LoadedDriver *driver = DriverOf(driverObject);
  if (driver == nullptr || deviceObject == nullptr) return STATUS_INVALID_PARAMETER;
  const std::string name = deviceName ? Utf8Of(deviceName) : "";
  const std::string key = FoldCase(name);
  if (!name.empty() && !IsDeviceName(key)) return STATUS_OBJECT_NAME_INVALID;
  if (!name.empty() && kernel.devices.count(key) != 0) return STATUS_OBJECT_NAME_COLLISION;

  // The extension follows the object, aligned as the pool aligns, zeroed.
  constexpr size_t kAlign = 16;
  const size_t objectSize = (sizeof(DEVICE_OBJECT) + kAlign - 1) / kAlign * kAlign;
  auto record = std::make_shared<DeviceObject>();
  record->name = name;
  record->driver = driver;
  record->storage.reset(new unsigned char[objectSize + extensionSize]());
  auto *object = reinterpret_cast<DEVICE_OBJECT *>(record->storage.get());
  object->Type = 3;  // IO_TYPE_DEVICE
  object->Size = static_cast<USHORT>(objectSize + extensionSize);
  object->DriverObject = driverObject;
  object->NextDevice = driverObject->DeviceObject;
  object->Flags = DO_DEVICE_INITIALIZING | (exclusive ? DO_EXCLUSIVE : 0);
  object->Characteristics = characteristics;
  object->DeviceType = deviceType;
  object->DeviceExtension = extensionSize ? record->storage.get() + objectSize : nullptr;
  record->object = object;
  driverObject->DeviceObject = object;
  if (!name.empty()) kernel.devices.emplace(key, record);
  driver->devices.push_back(std::move(record));
  *deviceObject = object;
  return STATUS_SUCCESS;
}

extern "C" void IoDeleteDevice(PDEVICE_OBJECT deviceObject) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  if (DeviceObject *record = RecordOf(kernel, deviceObject)) Delete(kernel, *record);
}

extern "C" NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING linkName, PUNICODE_STRING deviceName) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  const std::string key = LinkKey(FoldCase(Utf8Of(linkName)));
  if (key.empty() || key.find('\\') != std::string::npos) return STATUS_OBJECT_NAME_INVALID;
  if (kernel.links.count(key) != 0) return STATUS_OBJECT_NAME_COLLISION;
  kernel.links.emplace(key, FoldCase(Utf8Of(deviceName)));
  return STATUS_SUCCESS;
}

extern "C" NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING linkName) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  return kernel.links.erase(LinkKey(FoldCase(Utf8Of(linkName)))) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}
