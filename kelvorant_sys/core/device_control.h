// The driver's handling of one DeviceIoControl request, apart from the kernel glue: checks the control code
// and the buffer sizes, asks the machine, applies the fault rules and fills in the answer.
#pragma once
#include <cstdint>
#include <string>

#include "core/faults.h"
#include "core/kelvorant_ioctl.h"
#include "core/machine.h"
#include "kvddk.h"

namespace kvsys {

struct RequestOutcome {
  NTSTATUS result = STATUS_SUCCESS;  // the IRP's completion status
  uintptr_t information = 0;         // the byte count to report
  uint32_t status = 0;               // the status word written, when result is a success
  uint32_t code = 0;
  const RequestInfo *request = nullptr;  // null for an unknown control code
  bool has_address = false;              // the buffer was long enough to carry bus, device and function
  uint32_t bus = 0, device = 0, function = 0;
};

// Handles one METHOD_BUFFERED request: `buffer` holds the input on entry and the output on return (it has
// room for the larger of the two lengths).
RequestOutcome HandleDeviceControl(Machine &machine, FaultTable &faults, uint32_t domain, uint32_t code,
                                   void *buffer, uint32_t input_length, uint32_t output_length);

// The Win32 error that a failure status reaches the caller as (the few that this driver completes with).
uint32_t Win32ErrorOf(NTSTATUS status);

// One trace line, without its line end:
//   IOCTL_READ_CONFIG 00:1f.3 status=1 returned=272
//   IOCTL_WRITE_EXT_CONFIG 01:00.0 error=31
// The address gets a "dddd:" prefix when the served domain is not 0000; "-" stands for an address that the
// buffer was too short to carry, and an unknown control code is written in hex.
std::string FormatTraceLine(const RequestOutcome &outcome, uint32_t domain);

}  // namespace kvsys
