// The I/O manager: IRPs for the files of devices that user mode opens (IRP_MJ_CREATE, IRP_MJ_CLEANUP,
// IRP_MJ_CLOSE) and for DeviceIoControl (IRP_MJ_DEVICE_CONTROL, METHOD_BUFFERED), and their completion.
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "kernel_state.h"
#include "kvplat/diag.h"
#include "kvplat/errno_map.h"

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

// Under AddressSanitizer the part of the stack page past a request's system buffer is poisoned while the
// driver runs, so a driver that writes past the buffer is caught as it would be on the heap.
class PoisonedTail {
 public:
  PoisonedTail(unsigned char *tail, size_t size) : tail_(tail), size_(size) {
#if defined(__SANITIZE_ADDRESS__)
    ASAN_POISON_MEMORY_REGION(tail_, size_);
#endif
  }
  ~PoisonedTail() {
#if defined(__SANITIZE_ADDRESS__)
    ASAN_UNPOISON_MEMORY_REGION(tail_, size_);
#endif
  }
  PoisonedTail(const PoisonedTail &) = delete;
  PoisonedTail &operator=(const PoisonedTail &) = delete;

 private:
  [[maybe_unused]] unsigned char *tail_;
  [[maybe_unused]] size_t size_;
};

}  // namespace

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
  const PoisonedTail tail(page + std::min<size_t>(systemSize, sizeof page),
                          sizeof page - std::min<size_t>(systemSize, sizeof page));
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

}  // namespace kvplat

extern "C" void IofCompleteRequest(PIRP irp, CCHAR /*priorityBoost*/) {
  reinterpret_cast<kvplat::KernelIrp *>(irp)->completed = true;
}
