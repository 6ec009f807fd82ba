// A machine: the configuration space of the functions of one PCI domain, as one backend (the live sysfs, a
// simulated machine built from a dump, a machine file or the built-in demo) provides it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/pci_address.h"

namespace kvsys {

// How a configuration access went.
enum class Access {
  kAbsent,  // nothing answers at the address
  kFailed,  // the function is there but the access failed (e.g. the kernel refused a write)
  kDone,
};

// Answers of the simulated hardware's test port.
enum class ControlResult {
  kDone,
  kMalformed,    // the command cannot be parsed
  kNoFunction,   // no such function in the machine
  kUnsupported,  // this machine has no test port
};

class Machine {
 public:
  virtual ~Machine() = default;

  // Reads `length` bytes of configuration space from `offset` into out. Bytes that the function does not
  // have read as 0xFF. On kAbsent and kFailed, out is all 0xFF.
  virtual Access Read(FunctionIndex fn, unsigned offset, unsigned length, uint8_t *out) = 0;

  // Writes `length` bytes at `offset`; what the hardware keeps of them is the backend's matter.
  virtual Access Write(FunctionIndex fn, unsigned offset, unsigned length, const uint8_t *data) = 0;

  // One test-port command ("reset 02:00.0", "poke 02:00.0 40 aa bb", "unplug 02:00.0", "plug 02:00.0",
  // "writes 02:00.0"); kDone may come with the command's answer in *text, anything else comes with one line
  // that says why.
  virtual ControlResult Control(std::string_view command, std::string *text) = 0;
};

}  // namespace kvsys
