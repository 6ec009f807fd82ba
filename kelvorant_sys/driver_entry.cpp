// KELVORANT.sys for Windows: a WDM driver that creates \Device\Kelvorant with the link \DosDevices\Kelvorant
// and serves the program's four configuration requests. Everything a request does is the core's
// HandleDeviceControl, as in the Linux build; this file is the kernel glue: the machine chosen at start
// (machine_choice.h), the device, the dispatch routines and the unload.
#include <memory>

#include "core/device_control.h"
#include "core/sim_loaders.h"
#include "core/hal_machine.h"
#include "core/machine_choice.h"
#include "service_key.h"
#include "wdk.h"

namespace {

const wchar_t kDeviceName[] = L"\\Device\\Kelvorant";
const wchar_t kLinkName[] = L"\\DosDevices\\Kelvorant";
const wchar_t kMachineValue[] = L"Machine";

struct DriverState {
  std::unique_ptr<kvsys::Machine> machine;
  kvsys::FaultTable faults;  // fault rules come with machine files, which the Windows build does not read
  KMUTEX lock;               // one request at a time reaches the machine
};

uint32_t HalGet(void *, uint32_t bus, uint32_t slot, void *buffer, uint32_t offset, uint32_t length) {
  return HalGetBusDataByOffset(PCIConfiguration, bus, slot, buffer, offset, length);
}

uint32_t HalSet(void *, uint32_t bus, uint32_t slot, const void *buffer, uint32_t offset, uint32_t length) {
  return HalSetBusDataByOffset(PCIConfiguration, bus, slot, const_cast<void *>(buffer), offset, length);
}

const kvwin::HalBus kHalBus = {HalGet, HalSet, nullptr};

DriverState *StateOf(PDEVICE_OBJECT device) { return *static_cast<DriverState **>(device->DeviceExtension); }

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS DispatchOpenClose(PDEVICE_OBJECT, PIRP irp) { return Complete(irp, STATUS_SUCCESS, 0); }

NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
  DriverState *state = StateOf(device);
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  // Only a buffered request has its data in the system buffer; the four requests are all buffered, so any
  // other method is an unknown request and its buffer is not looked at.
  void *buffer = (code & 3) == METHOD_BUFFERED ? irp->AssociatedIrp.SystemBuffer : nullptr;

  KeWaitForSingleObject(&state->lock, Executive, KernelMode, FALSE, nullptr);
  const kvsys::RequestOutcome outcome =
      kvsys::HandleDeviceControl(*state->machine, state->faults, 0, code, buffer,
                                 stack->Parameters.DeviceIoControl.InputBufferLength,
                                 stack->Parameters.DeviceIoControl.OutputBufferLength);
  KeReleaseMutex(&state->lock, FALSE);
  return Complete(irp, outcome.result, NT_SUCCESS(outcome.result) ? outcome.information : 0);
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

// The machine that the service key asks for, or the one that fits this computer; null when the setting
// names none.
std::unique_ptr<kvsys::Machine> OpenMachine(PUNICODE_STRING registry_path) {
  char text[65];
  kvwin::MachineSetting setting;
  setting.present = kvwin::ReadServiceString(registry_path, kMachineValue, text, sizeof text);
  setting.text = text;
  kvwin::MachineKind kind;
  if (!kvwin::ChooseMachine(setting, kHalBus, &kind)) {
    DbgPrint("KELVORANT.sys: the service value Machine is \"%s\"; it can be demo or hal\n", text);
    return nullptr;
  }
  DbgPrint("KELVORANT.sys: serving the %s machine\n", kvwin::MachineKindName(kind));
  if (kind == kvwin::MachineKind::kHal) return std::make_unique<kvwin::HalMachine>(kHalBus);
  return kvsys::LoadDemoMachine(0);
}

}  // namespace

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  auto state = std::make_unique<DriverState>();
  state->machine = OpenMachine(registry_path);
  if (!state->machine) return STATUS_DEVICE_CONFIGURATION_ERROR;
  KeInitializeMutex(&state->lock, 0);

  UNICODE_STRING name, link;
  RtlInitUnicodeString(&name, kDeviceName);
  RtlInitUnicodeString(&link, kLinkName);
  PDEVICE_OBJECT device = nullptr;
  NTSTATUS status =
      IoCreateDevice(driver, sizeof(DriverState *), &name, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  *static_cast<DriverState **>(device->DeviceExtension) = state.release();

  driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOpenClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
  driver->DriverUnload = DriverUnload;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
