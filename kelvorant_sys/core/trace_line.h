// The line of the driver's request trace for one request from user mode:
//   IOCTL_READ_CONFIG 00:1f.3 status=1 returned=272
//   IOCTL_WRITE_EXT_CONFIG 01:00.0 error=31
// the control code's name (an unknown code in hex), the bus, device and function of the input as lspci
// writes them (with a "dddd:" prefix when the served domain is not 0000; "-" for an input too short to hold
// them), then the status word and the byte count of a request that completed, or the Win32 error that the
// call fails with. It is formatted into the caller's buffer: serving a request allocates nothing.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/device_control.h"

namespace kvsys {

// The address that a request's input names, taken before the request is served.
struct InputAddress {
  bool given = false;  // the input is long enough to hold one
  uint32_t bus = 0, device = 0, function = 0;
};
InputAddress AddressOfInput(const void *buffer, uint32_t input_length);

// Room for the longest line there can be, with its line end and a NUL.
constexpr size_t kTraceLineBytes = 128;

// Writes the line, ending in '\n', into `line` (kTraceLineBytes of room); returns its length.
size_t FormatTraceLine(char *line, uint32_t code, const InputAddress &address, uint32_t domain,
                       const RequestOutcome &outcome);

}  // namespace kvsys
