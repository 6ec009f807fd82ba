// The driver's handling of one DeviceIoControl request, apart from the kernel glue: the four requests of
// kelvorant_ioctl.h, the fault rules of a machine file, and the request trace's line. The glue turns the
// completion into the IRP's status (driver_entry.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/machine.h"
#include "core/pci_address.h"
#include "kelvorant_ioctl.h"

namespace kvsys {

struct RequestInfo {
  uint32_t code;
  const char *name;
  uint32_t size;  // of the buffer, input and output alike: the address, the data, the status word
  bool write;
  bool extended;  // data[0] is configuration offset 0x100, else 0
};

// Null for an unknown control code or name.
const RequestInfo *FindRequestByCode(uint32_t code);
const RequestInfo *FindRequestByName(std::string_view name);

// A fault rule: makes chosen requests at an address fail or complete oddly, so that the program's error
// paths can be exercised on a simulated machine.
struct FaultRule {
  PciAddress address;  // present in the machine or not
  uint32_t request = IOCTL_READ_CONFIG;
  uint64_t skip = 0;              // matching requests that pass untouched first
  std::optional<uint64_t> times;  // then this many are hit; none: every one after the skipped
  std::optional<uint32_t> error;     // the request fails with this Win32 error code
  std::optional<uint32_t> returned;  // the request reports this byte count instead of its full size
  std::optional<uint32_t> status;    // the request completes with this status word
  uint64_t seen = 0;                 // the requests of its kind and address so far
};
using FaultTable = std::vector<FaultRule>;

// Counts the request against every rule of its kind and address, and returns the first of them (in file
// order) that hits it; null when none does.
const FaultRule *MatchFault(FaultTable &faults, uint32_t request, const PciAddress &address);

enum class Completion {
  kDone,            // the answer is in the buffer: `information` bytes of it, `status` its status word
  kUnknownRequest,  // none of the four requests' control codes (the call fails with ERROR_INVALID_FUNCTION)
  kBadBuffer,       // no buffer, or an input or output length other than the request's size
                    // (ERROR_INVALID_PARAMETER)
  kFailed,          // a fault rule fails the call with its Win32 error
};

struct RequestOutcome {
  Completion completion = Completion::kDone;
  uintptr_t information = 0;  // the byte count to report
  uint32_t status = 0;        // the status word written
  uint32_t error = 0;         // the Win32 error that the call fails with, when it is not done
};

// Handles one METHOD_BUFFERED request: `buffer` holds the input on entry and the output on return (it has
// room for the larger of the two lengths).
RequestOutcome HandleDeviceControl(Machine &machine, FaultTable &faults, uint32_t domain, uint32_t code,
                                   void *buffer, uint32_t input_length, uint32_t output_length);

// The address that a request's input names, taken before the request is served.
struct InputAddress {
  bool given = false;  // the input is long enough to hold one
  uint32_t bus = 0, device = 0, function = 0;
};
InputAddress AddressOfInput(const void *buffer, uint32_t input_length);

// The line of the driver's request trace for one request from user mode:
//   IOCTL_READ_CONFIG 00:1f.3 status=1 returned=272
//   IOCTL_WRITE_EXT_CONFIG 01:00.0 error=31
// the control code's name (an unknown code in hex), the bus, device and function of the input as lspci
// writes them (with a "dddd:" prefix when the served domain is not 0000; "-" for an input too short to hold
// them), then the status word and the byte count of a request that completed, or the Win32 error that the
// call fails with. It is formatted into `line` (kTraceLineBytes of room), ending in '\n': serving a request
// allocates nothing. Returns its length.
constexpr size_t kTraceLineBytes = 128;  // the longest line there can be, with its line end and a NUL
size_t FormatTraceLine(char *line, uint32_t code, const InputAddress &address, uint32_t domain,
                       const RequestOutcome &outcome);

}  // namespace kvsys
