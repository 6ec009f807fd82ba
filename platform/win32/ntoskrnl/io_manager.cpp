// The I/O manager: the object namespace of devices (IoCreateDevice enters \Device\Name, IoCreateSymbolicLink
// enters \DosDevices\Name for it, which is what CreateFileA("\\.\Name") looks up), and IRPs for the files of
// devices that user mode opens (IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE), for DeviceIoControl
// (IRP_MJ_DEVICE_CONTROL, METHOD_BUFFERED) and for the kernel's own requests, and their completion.
#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "kelvorant_ioctl.h"
#include "kernel_state.h"
#include "kvplat/diag.h"
#include "kvplat/kernel32.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace kvplat {

struct DeviceFile {
  explicit DeviceFile(DeviceRef device) : device(std::move(device)) {
    object.Type = 5;  // IO_TYPE_FILE
    object.Size = sizeof object;
    object.DeviceObject = this->device->object;
  }
  ~DeviceFile() {
    if (!created) return;
    KernelState &kernel = Kernel();
    std::lock_guard lock(kernel.mutex);
    --device->openFiles;
    for (UCHAR major : {UCHAR{IRP_MJ_CLEANUP}, UCHAR{IRP_MJ_CLOSE}}) {
      if (device->object == nullptr) return;  // deleted meanwhile (its driver was unloaded)
      KernelIrp request(major, device->object, &object, UserMode);
      CallDriver(device->object, &request.irp);
    }
  }
  DeviceFile(const DeviceFile &) = delete;
  DeviceFile &operator=(const DeviceFile &) = delete;

  DeviceRef device;
  FILE_OBJECT object{};
  bool created = false;  // the driver completed IRP_MJ_CREATE with success
};

namespace {

// The part of a folded link name after \DosDevices\, or "" for a name outside it.
std::string LinkKey(const std::string &folded) {
  constexpr std::string_view kPrefix = "\\dosdevices\\";
  return folded.size() > kPrefix.size() && folded.starts_with(kPrefix) ? folded.substr(kPrefix.size()) : "";
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
  std::erase_if(driver->devices, [&](const DeviceRef &d) { return d.get() == &record; });
}

// Under AddressSanitizer the part of the stack page past a request's system buffer is poisoned while the
// driver runs, so a driver that writes past the buffer is caught as it would be on the heap.
struct PoisonedTail {
#if defined(__SANITIZE_ADDRESS__)
  PoisonedTail(unsigned char *tail, size_t size) : tail(tail), size(size) { ASAN_POISON_MEMORY_REGION(tail, size); }
  ~PoisonedTail() { ASAN_UNPOISON_MEMORY_REGION(tail, size); }
  unsigned char *tail;
  size_t size;
#else
  PoisonedTail(unsigned char *, size_t) {}
#endif
};

}  // namespace

KernelState &Kernel() {
  static KernelState *state = new KernelState;
  return *state;
}

std::string FoldCase(const std::string &name) {
  std::string folded = name;
  for (char &c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

DeviceRef RecordOfDevice(const DEVICE_OBJECT *object) {
  for (const auto &driver : Kernel().drivers) {
    for (const auto &device : driver->devices) {
      if (device->object == object) return device;
    }
  }
  return nullptr;
}

void DeleteDevicesOf(LoadedDriver &driver) {
  KernelState &kernel = Kernel();
  while (!driver.devices.empty()) {
    const DeviceRef device = driver.devices.back();
    const std::string target = FoldCase(device->name);
    std::erase_if(kernel.links, [&](const auto &link) { return !target.empty() && link.second == target; });
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

NTSTATUS CallDriver(DEVICE_OBJECT *device, IRP *irp) {
  const IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
  KernelIrp *request = reinterpret_cast<KernelIrp *>(irp);
  const NTSTATUS returned = device->DriverObject->MajorFunction[stack->MajorFunction](device, irp);
  if (returned == STATUS_PENDING || !request->completed) {
    ReportUnimplemented("a driver that returns from its dispatch routine before it completes the request");
    return STATUS_NOT_SUPPORTED;
  }
  return irp->IoStatus.Status;
}

DWORD CreateDeviceFile(const std::string &name, DeviceFileRef *file) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  DeviceRef device = FindDevice(name);
  if (!device) return ERROR_FILE_NOT_FOUND;
  if (device->object->Flags & DO_DEVICE_INITIALIZING) return ERROR_FILE_NOT_FOUND;  // not open for use yet
  // An exclusive device that has an open file refuses another before its driver hears of it.
  if ((device->object->Flags & DO_EXCLUSIVE) && device->openFiles != 0) return NtStatusToDosError(STATUS_ACCESS_DENIED);
  auto opened = std::make_shared<DeviceFile>(device);
  KernelIrp request(IRP_MJ_CREATE, device->object, &opened->object, UserMode);
  const NTSTATUS status = CallDriver(device->object, &request.irp);
  if (!NT_SUCCESS(status)) return NtStatusToDosError(status);
  opened->created = true;
  ++device->openFiles;
  *file = std::move(opened);
  return ERROR_SUCCESS;
}

DWORD SendDeviceControl(const DeviceFile &file, DWORD ioControlCode, const void *inBuffer, DWORD inBufferSize,
                        void *outBuffer, DWORD outBufferSize, DWORD *bytesReturned) {
  *bytesReturned = 0;
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  DEVICE_OBJECT *device = file.device->object;
  if (device == nullptr) return ERROR_DEV_NOT_EXIST;  // its driver was unloaded after the handle was opened
  if (METHOD_FROM_CTL_CODE(ioControlCode) != METHOD_BUFFERED) {
    ReportUnimplemented("DeviceIoControl with a control code that is not METHOD_BUFFERED");
    return ERROR_NOT_SUPPORTED;
  }
  // Windows probes the caller's buffers before building the IRP.
  if ((inBufferSize != 0 && inBuffer == nullptr) || (outBufferSize != 0 && outBuffer == nullptr)) {
    return ERROR_NOACCESS;
  }

  // The system buffer holds the input on the way in and the output on the way out; what the input does not
  // fill is zeroed, so that what a driver leaves unwritten is never stale memory. Up to a page it lives on
  // the stack: a bus scan sends thousands of small requests, and each should cost no heap allocation.
  const DWORD systemSize = std::max(inBufferSize, outBufferSize);
  unsigned char page[4096];
  std::unique_ptr<unsigned char[]> large;
  unsigned char *systemBuffer = page;
  if (systemSize > sizeof page) {
    large = std::make_unique<unsigned char[]>(systemSize);
    systemBuffer = large.get();
  } else if (systemSize > inBufferSize) {
    std::memset(page + inBufferSize, 0, systemSize - inBufferSize);
  }
  if (inBufferSize != 0) std::memcpy(systemBuffer, inBuffer, inBufferSize);
  const size_t used = std::min<size_t>(systemSize, sizeof page);
  // cppcheck-suppress unreadVariable ; a guard: the page's unused tail is poisoned while the driver runs
  const PoisonedTail tail(page + used, sizeof page - used);
  KernelIrp request(IRP_MJ_DEVICE_CONTROL, device, const_cast<FILE_OBJECT *>(&file.object), UserMode);
  request.irp.AssociatedIrp.SystemBuffer = systemSize == 0 ? nullptr : systemBuffer;
  request.stack.Parameters.DeviceIoControl.IoControlCode = ioControlCode;
  request.stack.Parameters.DeviceIoControl.InputBufferLength = inBufferSize;
  request.stack.Parameters.DeviceIoControl.OutputBufferLength = outBufferSize;
  const NTSTATUS status = CallDriver(device, &request.irp);
  const ULONG_PTR information = request.irp.IoStatus.Information;

  // Success, informational and warning statuses carry data back (a warning such as STATUS_BUFFER_OVERFLOW
  // still fails the call); an error status returns nothing.
  if (!NT_ERROR(status)) {
    const uintptr_t copied = std::min<uintptr_t>(information, outBufferSize);
    if (copied != 0) std::memcpy(outBuffer, systemBuffer, copied);
    *bytesReturned = static_cast<DWORD>(std::min<uintptr_t>(information, 0xFFFFFFFFu));
  }
  return NT_SUCCESS(status) ? ERROR_SUCCESS : NtStatusToDosError(status);
}

// The test port is reached as a kernel-mode test harness reaches it: an IRP of the kernel's own
// (RequestorMode KernelMode, as IoBuildDeviceIoControlRequest makes one). It is not traced.
bool SendMachineCommand(const std::string &command, std::string *text) {
  // Room for the driver's answer: a reason, or the registers a function was written (its log of 4,096
  // writes, "ffc/4 " each, fits).
  constexpr size_t kAnswerBytes = 32768;
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  DeviceRef device = FindDevice("Kelvorant");
  DEVICE_OBJECT *object = device ? device->object : nullptr;
  if (object == nullptr) {
    *text = "no driver serves \\\\.\\Kelvorant in this process";
    return false;
  }
  std::vector<char> buffer(std::max(command.size(), kAnswerBytes));
  std::memcpy(buffer.data(), command.data(), command.size());
  KernelIrp request(IRP_MJ_DEVICE_CONTROL, object, nullptr, KernelMode);
  request.irp.AssociatedIrp.SystemBuffer = buffer.data();
  request.stack.Parameters.DeviceIoControl.IoControlCode = kvsys::IOCTL_KELVORANT_TEST_PORT;
  request.stack.Parameters.DeviceIoControl.InputBufferLength = static_cast<ULONG>(command.size());
  request.stack.Parameters.DeviceIoControl.OutputBufferLength = kAnswerBytes;
  const NTSTATUS status = CallDriver(object, &request.irp);
  if (status == STATUS_INVALID_DEVICE_REQUEST) {
    *text = "the driver of \\\\.\\Kelvorant has no test port";
    return false;
  }
  // The answer: the command's (done), or the reason the machine refused it.
  const size_t length = std::min<size_t>(request.irp.IoStatus.Information, kAnswerBytes);
  *text = std::string(buffer.data(), length);
  if (NT_SUCCESS(status)) return true;
  if (status == STATUS_INVALID_PARAMETER && length > 0) return false;
  char line[64];
  std::snprintf(line, sizeof line, "the driver failed the command (status 0x%08X)", static_cast<unsigned>(status));
  *text = line;
  return false;
}

}  // namespace kvplat

using namespace kvplat;

extern "C" NTSTATUS IoCreateDevice(PDRIVER_OBJECT driverObject, ULONG extensionSize, PUNICODE_STRING deviceName,
                                   DEVICE_TYPE deviceType, ULONG characteristics, BOOLEAN exclusive,
                                   PDEVICE_OBJECT *deviceObject) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  LoadedDriver *driver = nullptr;
  for (auto &loaded : kernel.drivers) {
    if (&loaded->object == driverObject) driver = loaded.get();
  }
  if (driver == nullptr || deviceObject == nullptr) return STATUS_INVALID_PARAMETER;
  const std::string name = deviceName ? Utf8Of(deviceName) : "";
  const std::string key = FoldCase(name);
  // \Device\X with X a single name.
  constexpr std::string_view kDevicePrefix = "\\device\\";
  const bool valid = key.size() > kDevicePrefix.size() && key.starts_with(kDevicePrefix) &&
                     key.find('\\', kDevicePrefix.size()) == std::string::npos;
  if (!name.empty() && !valid) return STATUS_OBJECT_NAME_INVALID;
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
  if (const DeviceRef record = RecordOfDevice(deviceObject)) Delete(kernel, *record);
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

extern "C" void IofCompleteRequest(PIRP irp, CCHAR /*priorityBoost*/) {
  reinterpret_cast<KernelIrp *>(irp)->completed = true;
}
