// A driver module for the kernel tests, written against the same DDK as KELVORANT.sys (and, as a test
// module, with a DriverEntry of its own: the product's one is kelvorant_sys/driver_entry.cpp).
//   KV_FAKE_DEVICE     the device it creates, \Device\NAME with the link \DosDevices\NAME (default Kelvorant)
//   KV_FAKE_LOG        a file that receives a line for each of its routines that runs
#include <ddk/ntddk.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake_driver_codes.h"
#include "kelvorant_ioctl.h"

namespace {

void Log(const std::string &line) {
  if (const char *path = std::getenv("KV_FAKE_LOG")) {
    if (FILE *log = std::fopen(path, "a")) {
      std::fprintf(log, "%s\n", line.c_str());
      std::fclose(log);
    }
  }
}

std::string Narrow(const UNICODE_STRING *text) {
  std::string out;
  for (size_t i = 0; i < text->Length / sizeof(WCHAR); ++i) out += static_cast<char>(text->Buffer[i]);
  return out;
}

// A UNICODE_STRING of `prefix` and the device's name, over `storage`.
UNICODE_STRING NameOf(const char *prefix, WCHAR *storage, size_t size) {
  const char *device = std::getenv("KV_FAKE_DEVICE");
  const std::string text = std::string(prefix) + (device ? device : "Kelvorant");
  size_t n = 0;
  for (; n < text.size() && n + 1 < size; ++n) storage[n] = static_cast<WCHAR>(text[n]);
  storage[n] = 0;
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, storage);
  return name;
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS OpenClose(PDEVICE_OBJECT, PIRP irp) {
  const char *names[] = {"create", "?", "close"};
  const UCHAR major = IoGetCurrentIrpStackLocation(irp)->MajorFunction;
  Log(major == IRP_MJ_CLEANUP ? "cleanup" : names[major]);
  return Complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS Dispatch(PDEVICE_OBJECT, PIRP irp) {
  const IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
  auto *buffer = static_cast<unsigned char *>(irp->AssociatedIrp.SystemBuffer);
  const ULONG input = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG output = stack->Parameters.DeviceIoControl.OutputBufferLength;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case kFakeComplete: {  // completes with the status and byte count given in the input, output all 0xAB
      FakeCompletion completion;
      if (input < sizeof completion) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      std::memcpy(&completion, buffer, sizeof completion);
      std::memset(buffer, 0xAB, output);
      return Complete(irp, completion.status, completion.information);
    }
    case kFakeEcho:  // the input comes back as the output
      return Complete(irp, STATUS_SUCCESS, input);
    case kFakeNeedsRead:
      return Complete(irp, STATUS_SUCCESS, 0);
    case kvsys::IOCTL_KELVORANT_TEST_PORT: {  // "ping" is done; anything else is refused, saying why
      if (irp->RequestorMode != KernelMode) break;
      const std::string command(reinterpret_cast<char *>(buffer), input);
      if (command == "ping") return Complete(irp, STATUS_SUCCESS, 0);
      const std::string why = "unknown command: " + command;
      const size_t length = why.size() < output ? why.size() : output;
      std::copy_n(why.data(), length, buffer);
      return Complete(irp, STATUS_INVALID_PARAMETER, length);
    }
    default:
      break;
  }
  return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

void Unload(PDRIVER_OBJECT driver) {
  Log("unload");
  WCHAR storage[64];
  UNICODE_STRING link = NameOf("\\DosDevices\\", storage, 64);
  IoDeleteSymbolicLink(&link);
  IoDeleteDevice(driver->DeviceObject);
}

}  // namespace

extern "C" DRIVER_INITIALIZE DriverEntry;

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  Log("entry");
  Log(Narrow(registryPath));
  WCHAR deviceStorage[64], linkStorage[64];
  UNICODE_STRING name = NameOf("\\Device\\", deviceStorage, 64);
  UNICODE_STRING link = NameOf("\\DosDevices\\", linkStorage, 64);
  PDEVICE_OBJECT device = nullptr;
  NTSTATUS status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  driver->MajorFunction[IRP_MJ_CREATE] = OpenClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = OpenClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = OpenClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = Dispatch;
  driver->DriverUnload = Unload;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
