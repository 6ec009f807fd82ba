// A driver module for the kernel tests, built against the same interface as KELVORANT.sys.
//   KV_FAKE_DEVICE     the device it creates (default "Kelvorant")
//   KV_FAKE_LOG        a file that receives "entry" and "unload" lines
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fake_driver_codes.h"
#include "kvddk.h"

namespace {

void Log(const char *line) {
  if (const char *path = std::getenv("KV_FAKE_LOG")) {
    if (FILE *log = std::fopen(path, "a")) {
      std::fprintf(log, "%s\n", line);
      std::fclose(log);
    }
  }
}

NTSTATUS Dispatch(KV_DRIVER_OBJECT *, KV_IRP *irp) {
  auto *buffer = static_cast<unsigned char *>(irp->SystemBuffer);
  switch (irp->IoControlCode) {
    case kFakeComplete: {  // completes with the status and byte count given in the input, output all 0xAB
      FakeCompletion completion;
      if (irp->InputBufferLength < sizeof completion) return STATUS_INVALID_PARAMETER;
      std::memcpy(&completion, buffer, sizeof completion);
      std::memset(buffer, 0xAB, irp->OutputBufferLength);
      irp->Information = completion.information;
      return completion.status;
    }
    case kFakeEcho:  // the input comes back as the output
      irp->Information = irp->InputBufferLength;
      return STATUS_SUCCESS;
    case kFakeNeedsRead:
      return STATUS_SUCCESS;
    default:
      return STATUS_INVALID_DEVICE_REQUEST;
  }
}

void Unload(KV_DRIVER_OBJECT *) { Log("unload"); }

NTSTATUS MachineControl(KV_DRIVER_OBJECT *, const char *command, char *message, size_t size) {
  if (std::strcmp(command, "ping") == 0) return STATUS_SUCCESS;
  std::snprintf(message, size, "unknown command: %s", command);
  return STATUS_INVALID_PARAMETER;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) NTSTATUS DriverEntry(KV_DRIVER_OBJECT *driver,
                                                                       const char *registryPath) {
  Log("entry");
  Log(registryPath);
  const char *name = std::getenv("KV_FAKE_DEVICE");
  NTSTATUS status = driver->IoCreateDevice(driver, name ? name : "Kelvorant");
  if (!NT_SUCCESS(status)) return status;
  driver->DispatchDeviceControl = Dispatch;
  driver->DriverUnload = Unload;
  driver->MachineControl = MachineControl;
  return STATUS_SUCCESS;
}
