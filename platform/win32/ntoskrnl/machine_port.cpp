// The simulated hardware's test port, reached as a kernel-mode test harness reaches it: an IRP of the
// kernel's own (RequestorMode KernelMode, as IoBuildDeviceIoControlRequest makes one) with the driver's
// private control code IOCTL_KELVORANT_TEST_PORT, sent to the device \\.\Kelvorant of this process. It is
// not traced.
#include "kvplat/machine_port.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

#include "kelvorant_ioctl.h"
#include "kernel_state.h"

namespace kvplat {

namespace {
constexpr size_t kReasonBytes = 512;  // room for the driver's answer
}

bool SendMachineCommand(const std::string &command, std::string *text) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  DeviceRef device = FindDevice("Kelvorant");
  DEVICE_OBJECT *object = device ? device->object : nullptr;
  if (object == nullptr) {
    *text = "no driver serves \\\\.\\Kelvorant in this process";
    return false;
  }
  std::vector<char> buffer(std::max(command.size(), kReasonBytes));
  std::memcpy(buffer.data(), command.data(), command.size());
  KernelIrp request(IRP_MJ_DEVICE_CONTROL, object, nullptr, KernelMode);
  request.irp.AssociatedIrp.SystemBuffer = buffer.data();
  request.stack.Parameters.DeviceIoControl.IoControlCode = kvsys::IOCTL_KELVORANT_TEST_PORT;
  request.stack.Parameters.DeviceIoControl.InputBufferLength = static_cast<ULONG>(command.size());
  request.stack.Parameters.DeviceIoControl.OutputBufferLength = kReasonBytes;
  const NTSTATUS status = CallDriver(object, &request.irp);
  if (status == STATUS_INVALID_DEVICE_REQUEST) {
    *text = "the driver of \\\\.\\Kelvorant has no test port";
    return false;
  }
  // The answer: the command's (done), or the reason the machine refused it.
  const size_t length = std::min<size_t>(request.irp.IoStatus.Information, kReasonBytes);
  *text = std::string(buffer.data(), length);
  if (NT_SUCCESS(status)) return true;
  if (status == STATUS_INVALID_PARAMETER && length > 0) return false;
  char line[64];
  std::snprintf(line, sizeof line, "the driver failed the command (status 0x%08X)", static_cast<unsigned>(status));
  *text = line;
  return false;
}

}  // namespace kvplat
