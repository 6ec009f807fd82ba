// The JSON machine file:
//   { "dump": "other.txt",                      optional, an lspci dump loaded first (relative to the file)
//     "functions": [ { "address": "02:00.0", "config": "86 80 ...",
//                      "writable": "...", "clear_on_write": "..." } ],   masks optional
//     "faults": [ { "address": "02:00.0", "request": "IOCTL_READ_CONFIG",
//                   "skip": 1, "times": 1, "error": 31, "returned": 268, "status": 2 } ] }
// Hex strings are two-digit bytes, optionally separated by white space. Anything unknown or malformed is an
// error naming its place ("functions[3].config: ..."), and so are a key given twice in an object, an address
// given twice in "functions", an object of more than 16 members and nesting deeper than 8 levels. Parsing is
// a pure function of the text.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_control.h"
#include "core/pci_address.h"

namespace kvsys {

struct MachineFileFunction {
  PciAddress address;
  std::vector<uint8_t> config;                         // 1 to 4096 bytes
  std::optional<std::vector<uint8_t>> writable;        // at most as long as config
  std::optional<std::vector<uint8_t>> clear_on_write;  // at most as long as config
};

struct MachineFile {
  std::optional<std::string> dump;
  std::vector<MachineFileFunction> functions;
  std::vector<FaultRule> faults;
};

// False with "place: reason" (or "line L, column C: reason" for bad JSON) in *why.
bool ParseMachineFile(std::string_view text, MachineFile *out, std::string *why);

}  // namespace kvsys
