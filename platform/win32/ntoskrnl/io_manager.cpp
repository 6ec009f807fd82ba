// The I/O manager's part of DeviceIoControl: one IRP per request, METHOD_BUFFERED.
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "kernel_state.h"
#include "kvplat/diag.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace kvplat {

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

DWORD SendDeviceControl(const DeviceRef &device, DWORD ioControlCode, const void *inBuffer, DWORD inBufferSize,
                        void *outBuffer, DWORD outBufferSize, DWORD *bytesReturned) {
  *bytesReturned = 0;
  KernelState &kernel = Kernel();
  std::lock_guard<std::recursive_mutex> lock(kernel.mutex);
  KV_DRIVER_OBJECT *driver = device->driver;
  if (driver == nullptr) return ERROR_DEV_NOT_EXIST;  // its driver was unloaded after the handle was opened
  if (METHOD_FROM_CTL_CODE(ioControlCode) != METHOD_BUFFERED) {
    ReportUnimplemented("DeviceIoControl with a control code that is not METHOD_BUFFERED");
    return ERROR_NOT_SUPPORTED;
  }
  // Windows probes the caller's buffers before building the IRP.
  if ((inBufferSize != 0 && inBuffer == nullptr) || (outBufferSize != 0 && outBuffer == nullptr)) {
    return ERROR_NOACCESS;
  }

  // The system buffer holds the input on the way in and the output on the way out; zero-filled so that
  // what a driver leaves unwritten is never stale memory. Up to a page it lives on the stack: a bus scan
  // sends thousands of small requests, and each should cost no heap allocation.
  const DWORD systemSize = std::max(inBufferSize, outBufferSize);
  unsigned char page[4096];
  std::vector<unsigned char> large;
  unsigned char *systemBuffer = page;
  if (systemSize > sizeof page) {
    large.resize(systemSize);
    systemBuffer = large.data();
  } else {
    std::memset(page, 0, systemSize);
  }
  if (inBufferSize != 0) std::memcpy(systemBuffer, inBuffer, inBufferSize);
  const PoisonedTail tail(page + std::min<size_t>(systemSize, sizeof page),
                          sizeof page - std::min<size_t>(systemSize, sizeof page));
  KV_IRP irp{};
  irp.IoControlCode = ioControlCode;
  irp.SystemBuffer = systemSize == 0 ? nullptr : systemBuffer;
  irp.InputBufferLength = inBufferSize;
  irp.OutputBufferLength = outBufferSize;
  irp.Information = 0;

  const NTSTATUS status =
      driver->DispatchDeviceControl ? driver->DispatchDeviceControl(driver, &irp) : STATUS_INVALID_DEVICE_REQUEST;

  // Success, informational and warning statuses carry data back (a warning such as STATUS_BUFFER_OVERFLOW
  // still fails the call); an error status returns nothing.
  const bool isError = (static_cast<uint32_t>(status) >> 30) == 3;
  if (!isError) {
    const uintptr_t copied = std::min<uintptr_t>(irp.Information, outBufferSize);
    if (copied != 0) std::memcpy(outBuffer, systemBuffer, copied);
    *bytesReturned = static_cast<DWORD>(std::min<uintptr_t>(irp.Information, 0xFFFFFFFFu));
  }
  return NT_SUCCESS(status) ? ERROR_SUCCESS : NtStatusToDosError(status);
}

}  // namespace kvplat
