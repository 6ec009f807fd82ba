// KELVORANT.sys: a WDM driver that creates \Device\Kelvorant with the link \DosDevices\Kelvorant and serves
// the program's four configuration requests. The same source builds the Windows driver and the Linux one,
// which the platform's kernel loads (see wdk.h). Everything a request does is the core's
// HandleDeviceControl; this file is the kernel glue: the machine chosen at start (core/machine_choice.h)
// and the request trace, the device, the dispatch routines and the unload.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "core/device_control.h"
#include "core/machine_choice.h"
#include "device_security.h"
#include "kernel_files.h"
#include "wdk.h"

namespace {

const WCHAR kDeviceName[] = L"\\Device\\Kelvorant";
const WCHAR kLinkName[] = L"\\DosDevices\\Kelvorant";
const WCHAR kMachineValue[] = L"Machine";
const WCHAR kTraceValue[] = L"Trace";

// The driver's request trace: a line (core/device_control.h) for each request from user mode, appended to
// the file that the service key's value Trace names; without the value there is none. A trace is a
// debugging aid, not the device's work: when a write fails, the trace ends there, with a warning in the
// kernel's debug output, and the requests go on being served.
class RequestTrace {
 public:
  RequestTrace() = default;
  ~RequestTrace() { Close(); }
  RequestTrace(const RequestTrace &) = delete;
  RequestTrace &operator=(const RequestTrace &) = delete;

  // Opens the file that the value names, when there is one; false with the reason in *why when it cannot.
  bool Open(PUNICODE_STRING registry_path, std::string *why) {
    if (!kvsys::ReadServiceString(registry_path, kTraceValue, &path_) || path_.empty()) return true;
    // FILE_APPEND_DATA alone: the kernel writes every line at the end of the file, whatever else appends to
    // it meanwhile; the file is made when it is missing.
    if (kvsys::OpenKernelFile(path_, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF, &file_, why))
      return true;
    *why = "the trace " + path_ + ": " + *why;
    return false;
  }

  // Whether requests are traced: only then is a request's address taken from its input.
  bool on() const { return file_ != nullptr; }

  // Appends the line of one request; `address` was taken from its input before it was served.
  void Write(uint32_t code, const kvsys::InputAddress &address, uint32_t domain,
             const kvsys::RequestOutcome &outcome) {
    char line[kvsys::kTraceLineBytes];
    const size_t length = kvsys::FormatTraceLine(line, code, address, domain, outcome);
    IO_STATUS_BLOCK io;
    const NTSTATUS status =
        ZwWriteFile(file_, nullptr, nullptr, nullptr, &io, line, static_cast<ULONG>(length), nullptr, nullptr);
    if (NT_SUCCESS(status)) return;
    DbgPrintEx(DPFLTR_IHVDRIVER_ID, DPFLTR_WARNING_LEVEL,
               "KELVORANT.sys: the trace %s cannot be written (%s): it ends here\n", path_.c_str(),
               kvsys::FileErrorReason(status).c_str());
    Close();
  }

 private:
  void Close() {
    if (file_) ZwClose(file_);
    file_ = nullptr;
  }

  HANDLE file_ = nullptr;
  std::string path_;
};

struct DriverState {
  kvsys::OpenedMachine machine;
  RequestTrace trace;
  KMUTEX lock;  // one request at a time reaches the machine, and the trace holds them in their order
};

uint32_t HalGet(void *, uint32_t bus, uint32_t slot, void *buffer, uint32_t offset, uint32_t length) {
  return HalGetBusDataByOffset(PCIConfiguration, bus, slot, buffer, offset, length);
}

uint32_t HalSet(void *, uint32_t bus, uint32_t slot, const void *buffer, uint32_t offset, uint32_t length) {
  return HalSetBusDataByOffset(PCIConfiguration, bus, slot, const_cast<void *>(buffer), offset, length);
}

const kvsys::HalBus kHalBus = {HalGet, HalSet, nullptr};

// One line for whoever reads the kernel's debug output (on Linux the platform's standard error).
void Say(const std::string &line) {
  DbgPrintEx(DPFLTR_IHVDRIVER_ID, DPFLTR_ERROR_LEVEL, "KELVORANT.sys: %s\n", line.c_str());
}

// The device's extension holds the state.
// The device extension holds the one pointer to the driver's state.
struct DeviceExtension {
  DriverState *state;
};
DriverState *&StateOf(PDEVICE_OBJECT device) { return static_cast<DeviceExtension *>(device->DeviceExtension)->state; }

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS DispatchOpenClose(PDEVICE_OBJECT, PIRP irp) { return Complete(irp, STATUS_SUCCESS, 0); }

NTSTATUS StatusOf(const kvsys::RequestOutcome &outcome) {
  switch (outcome.completion) {
    case kvsys::Completion::kDone:
      return STATUS_SUCCESS;
    case kvsys::Completion::kUnknownRequest:
      return STATUS_INVALID_DEVICE_REQUEST;
    case kvsys::Completion::kBadBuffer:
      return STATUS_INVALID_PARAMETER;
    case kvsys::Completion::kFailed:
      break;
  }
  return NTSTATUS_FROM_WIN32(outcome.error);
}

// The test port: the command line in the buffer, and back the command's answer (STATUS_SUCCESS) or the
// reason it was refused (STATUS_INVALID_PARAMETER); an answer longer than the output is cut to it and
// fails with STATUS_BUFFER_OVERFLOW, so that no caller takes a part for the whole.
NTSTATUS RunTestPortCommand(kvsys::Machine &machine, char *buffer, ULONG input_length, ULONG output_length,
                            ULONG_PTR *information) {
  std::string text;
  const std::string_view command(buffer ? buffer : "", buffer ? input_length : 0);
  const bool done = machine.Control(command, &text);
  const size_t length = !buffer ? 0 : text.size() < output_length ? text.size() : output_length;
  std::copy_n(text.data(), length, buffer);
  *information = length;
  if (length < text.size()) return STATUS_BUFFER_OVERFLOW;
  return done ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
}

NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
  DriverState *state = StateOf(device);
  const IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG input_length = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG output_length = stack->Parameters.DeviceIoControl.OutputBufferLength;
  // Only a buffered request has its data in the system buffer; the requests are all buffered, so any other
  // method is an unknown request and its buffer is not looked at.
  void *buffer = (code & 3) == METHOD_BUFFERED ? irp->AssociatedIrp.SystemBuffer : nullptr;

  KeWaitForSingleObject(&state->lock, Executive, KernelMode, FALSE, nullptr);
  NTSTATUS status = STATUS_SUCCESS;
  ULONG_PTR information = 0;
  if (code == kvsys::IOCTL_KELVORANT_TEST_PORT && irp->RequestorMode == KernelMode) {
    status = RunTestPortCommand(*state->machine.machine, static_cast<char *>(buffer), input_length, output_length,
                                &information);
  } else {
    const bool traced = state->trace.on();
    const kvsys::InputAddress address = traced ? kvsys::AddressOfInput(buffer, input_length) : kvsys::InputAddress{};
    const kvsys::RequestOutcome outcome = kvsys::HandleDeviceControl(
        *state->machine.machine, state->machine.faults, state->machine.domain, code, buffer, input_length, output_length);
    status = StatusOf(outcome);
    information = NT_SUCCESS(status) ? outcome.information : 0;
    if (traced) state->trace.Write(code, address, state->machine.domain, outcome);
  }
  KeReleaseMutex(&state->lock, FALSE);
  return Complete(irp, status, information);
}

void DriverUnload(PDRIVER_OBJECT driver) {
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, kLinkName);
  IoDeleteSymbolicLink(&link);
  if (PDEVICE_OBJECT device = driver->DeviceObject) {
    delete StateOf(device);
    IoDeleteDevice(device);
  }
}

// The machine that the service key asks for, or the one that fits this computer. False after saying why.
bool OpenMachine(PUNICODE_STRING registry_path, kvsys::OpenedMachine *machine) {
  std::string value, why;  // empty when the key has no such value
  kvsys::ReadServiceString(registry_path, kMachineValue, &value);
  kvsys::MachineChoice choice;
  if (!kvsys::ChooseMachine(value, kHalBus, &choice, &why)) {
    Say("the service value Machine is \"" + value + "\": " + why);
    return false;
  }
  DbgPrintEx(DPFLTR_IHVDRIVER_ID, DPFLTR_INFO_LEVEL, "KELVORANT.sys: serving the %s machine\n",
             kvsys::MachineKindName(choice.kind));
  // Only the HAL machine reaches hardware, and only it looks for ECAM.
  const kvsys::EcamSpace ecam = choice.kind == kvsys::MachineKind::kHal ? kvsys::FindEcam(Say) : kvsys::EcamSpace{};
  kvsys::KernelTextFiles files;
  if (!kvsys::OpenMachine(choice, kHalBus, ecam, files, machine, &why, Say)) {
    Say(why);
    return false;
  }
  return true;
}

}  // namespace

extern "C" DRIVER_INITIALIZE DriverEntry;

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  auto state = std::make_unique<DriverState>();
  if (!OpenMachine(registry_path, &state->machine)) return STATUS_DEVICE_CONFIGURATION_ERROR;
  std::string why;
  if (!state->trace.Open(registry_path, &why)) {
    Say(why);
    return STATUS_DEVICE_CONFIGURATION_ERROR;
  }
  KeInitializeMutex(&state->lock, 0);

  UNICODE_STRING name, link;
  RtlInitUnicodeString(&name, kDeviceName);
  RtlInitUnicodeString(&link, kLinkName);
  PDEVICE_OBJECT device = nullptr;
  // Exclusive: one open file at a time, as the program keeps its one handle.
  NTSTATUS status =
      IoCreateDevice(driver, sizeof(DeviceExtension), &name, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, TRUE, &device);
  if (!NT_SUCCESS(status)) return status;
  status = kvsys::RestrictToAdministrators(device);
  if (!NT_SUCCESS(status)) {
    char text[96];
    std::snprintf(text, sizeof text, "cannot restrict the device to SYSTEM and Administrators (status 0x%08lX)",
                  static_cast<unsigned long>(status));
    Say(text);
    IoDeleteDevice(device);
    return status;
  }
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  StateOf(device) = state.release();

  driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOpenClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
  driver->DriverUnload = DriverUnload;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
