// The kernel's own state: the loaded drivers and the namespace of their devices and links. One lock
// serialises loading, unloading and every IRP, so a driver is never unloaded while one of its routines runs.
// It is recursive because a driver calls back into the kernel (IoCreateDevice) from its routines.
#pragma once
#include <ddk/ntddk.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kvplat/kernel.h"
#include "kvplat/lock.h"

namespace kvplat {

struct LoadedDriver;

struct DeviceObject {
  std::string name;                          // "\Device\Name" as the driver spelled it; empty for an unnamed device
  DEVICE_OBJECT *object = nullptr;           // null once the device is deleted
  LoadedDriver *driver = nullptr;            // null once the device is deleted
  std::unique_ptr<unsigned char[]> storage;  // the DEVICE_OBJECT and its extension
  unsigned openFiles = 0;                    // files opened with CreateDeviceFile and not yet closed
};

struct LoadedDriver {
  std::string serviceKey;  // the service name folded to lower case
  void *module = nullptr;  // from dlopen
  DRIVER_OBJECT object{};
  std::u16string registryPath;  // the buffer of the path DriverEntry was given
  std::vector<DeviceRef> devices;
};

struct KernelState {
  RecursiveLock mutex;
  std::vector<std::unique_ptr<LoadedDriver>> drivers;
  std::map<std::string, DeviceRef> devices;  // key: the device name folded to lower case
  std::map<std::string, std::string> links;  // \DosDevices\ name -> device name, both folded
};

// Never destroyed, so that drivers still loaded at exit stay reachable and are not torn down under a
// program that is still running its static destructors.
KernelState &Kernel();

// Object and service names compare case-insensitively, as on Windows.
std::string FoldCase(const std::string &name);

// The loaded driver of a service (folded), or null. Caller holds the lock.
LoadedDriver *FindDriver(const std::string &serviceKey);

// The record of a device object of a loaded driver, or null. Caller holds the lock.
DeviceRef RecordOfDevice(const DEVICE_OBJECT *object);

// Deletes the devices that the driver left, and the links to them. Caller holds the lock.
void DeleteDevicesOf(LoadedDriver &driver);

// An IRP with its one stack location, and whether IoCompleteRequest has been called for it.
struct KernelIrp {
  IRP irp{};
  IO_STACK_LOCATION stack{};
  bool completed = false;

  KernelIrp(UCHAR majorFunction, DEVICE_OBJECT *device, FILE_OBJECT *file, KPROCESSOR_MODE mode) {
    irp.Type = 6;  // IO_TYPE_IRP
    irp.Size = sizeof irp;
    irp.RequestorMode = mode;
    irp.Tail.Overlay.CurrentStackLocation = &stack;
    stack.MajorFunction = majorFunction;
    stack.DeviceObject = device;
    stack.FileObject = file;
  }
  KernelIrp(const KernelIrp &) = delete;
  KernelIrp &operator=(const KernelIrp &) = delete;
};

// Sends a KernelIrp's IRP to the device's driver: the status it was completed with (a request left pending
// fails loudly). Caller holds the lock.
NTSTATUS CallDriver(DEVICE_OBJECT *device, IRP *irp);

// The path of the last file that a driver opened with ZwCreateFile, or "".
std::string LastKernelInput();

// The kernel's counted UTF-16 strings as UTF-8 and back; a sequence that does not convert becomes U+FFFD.
std::string Utf8Of(const UNICODE_STRING *text);
std::u16string Utf16Of(std::string_view text);

}  // namespace kvplat
