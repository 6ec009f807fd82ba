// KELVORANT.sys: the kernel-side entry points. DriverEntry builds the machine that KELVORANT_MACHINE names,
// creates the device \Device\Kelvorant and hands the kernel its dispatch routines; everything a request
// does is in core/device_control. Each request leaves one line with the kernel's trace session.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <type_traits>

#include "core/device_control.h"
#include "kvddk.h"
#include "linux/machine_backends.h"

namespace kvsys {

namespace {

constexpr const char *kDeviceName = "Kelvorant";

struct DriverState {
  OpenedMachine machine;
};

DriverState *StateOf(KV_DRIVER_OBJECT *driver) {
  return driver ? static_cast<DriverState *>(driver->DriverExtension) : nullptr;
}

void Say(KV_DRIVER_OBJECT *driver, const std::string &line) {
  if (driver->DbgPrint) driver->DbgPrint(("KELVORANT.sys: " + line).c_str());
}

NTSTATUS DispatchDeviceControl(KV_DRIVER_OBJECT *driver, KV_IRP *irp) {
  DriverState *state = StateOf(driver);
  if (!state || !irp) return STATUS_INVALID_PARAMETER;
  try {
    const RequestOutcome outcome =
        HandleDeviceControl(*state->machine.machine, state->machine.faults, state->machine.domain,
                            irp->IoControlCode, irp->SystemBuffer, irp->InputBufferLength, irp->OutputBufferLength);
    irp->Information = NT_SUCCESS(outcome.result) ? outcome.information : 0;
    if (driver->TraceMessage) driver->TraceMessage(FormatTraceLine(outcome, state->machine.domain).c_str());
    return outcome.result;
  } catch (const std::bad_alloc &) {
    irp->Information = 0;
    return STATUS_INSUFFICIENT_RESOURCES;
  }
}

NTSTATUS MachineControl(KV_DRIVER_OBJECT *driver, const char *command, char *message, size_t message_size) {
  DriverState *state = StateOf(driver);
  std::string why;
  ControlResult result = ControlResult::kMalformed;
  try {
    if (!state)
      why = "the driver is not running";
    else if (!command)
      why = "no machine command";
    else
      result = state->machine.machine->Control(command, &why);
  } catch (const std::bad_alloc &) {
    why = "out of memory";
  }
  if (result != ControlResult::kDone && message && message_size) std::snprintf(message, message_size, "%s", why.c_str());
  switch (result) {
    case ControlResult::kDone:
      return STATUS_SUCCESS;
    case ControlResult::kMalformed:
      return STATUS_INVALID_PARAMETER;
    case ControlResult::kNoFunction:
      return STATUS_NO_SUCH_DEVICE;
    case ControlResult::kUnsupported:
      break;
  }
  return STATUS_NOT_IMPLEMENTED;
}

void DriverUnload(KV_DRIVER_OBJECT *driver) {
  delete StateOf(driver);
  driver->DriverExtension = nullptr;
}

NTSTATUS Start(KV_DRIVER_OBJECT *driver) {
  const char *machine_text = std::getenv("KELVORANT_MACHINE");
  auto state = std::make_unique<DriverState>();
  std::string why;
  const Warn warn = [driver](const std::string &line) { Say(driver, line); };
  if (!OpenMachine(ParseMachineSource(machine_text ? machine_text : ""), &state->machine, &why, warn)) {
    Say(driver, why);
    return STATUS_DEVICE_CONFIGURATION_ERROR;
  }
  driver->DriverExtension = state.release();
  driver->DispatchDeviceControl = DispatchDeviceControl;
  driver->DriverUnload = DriverUnload;
  driver->MachineControl = MachineControl;
  const NTSTATUS created = driver->IoCreateDevice ? driver->IoCreateDevice(driver, kDeviceName) : STATUS_UNSUCCESSFUL;
  if (!NT_SUCCESS(created)) {
    DriverUnload(driver);
    driver->DispatchDeviceControl = nullptr;
    driver->DriverUnload = nullptr;
    driver->MachineControl = nullptr;
  }
  return created;
}

}  // namespace

}  // namespace kvsys

extern "C" __attribute__((visibility("default"))) NTSTATUS DriverEntry(KV_DRIVER_OBJECT *driver,
                                                                        const char * /*registry_path*/) {
  if (!driver) return STATUS_INVALID_PARAMETER;
  if (driver->Size < sizeof(KV_DRIVER_OBJECT)) {
    // An older or unfilled driver object: say so when it has a way to, since the start only fails with 31.
    if (driver->Size >= offsetof(KV_DRIVER_OBJECT, DbgPrint) + sizeof driver->DbgPrint && driver->DbgPrint)
      kvsys::Say(driver, "the driver object is " + std::to_string(driver->Size) + " bytes, not " +
                             std::to_string(sizeof(KV_DRIVER_OBJECT)));
    return STATUS_INVALID_PARAMETER;
  }
  try {
    return kvsys::Start(driver);
  } catch (const std::bad_alloc &) {
    kvsys::Say(driver, "cannot start: out of memory");
    return STATUS_INSUFFICIENT_RESOURCES;
  } catch (const std::exception &e) {
    kvsys::Say(driver, std::string("cannot start: ") + e.what());
    return STATUS_UNSUCCESSFUL;
  }
}

// The kernel checks the signature it calls through.
static_assert(std::is_same_v<decltype(&DriverEntry), KV_DRIVER_INITIALIZE>);
