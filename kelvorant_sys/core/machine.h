// A machine: the configuration space of the functions of one PCI domain, as one backend (the HAL, or a
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

class Machine {
 public:
  virtual ~Machine() = default;

  // Reads `length` bytes of configuration space from `offset` into out. Bytes that the function does not
  // have read as 0xFF. On kAbsent and kFailed, out is all 0xFF.
  virtual Access Read(FunctionIndex fn, unsigned offset, unsigned length, uint8_t *out) = 0;

  // Writes `length` bytes at `offset`; what the hardware keeps of them is the backend's matter.
  virtual Access Write(FunctionIndex fn, unsigned offset, unsigned length, const uint8_t *data) = 0;

  // One command of the simulated hardware's test port (core/sim_machine.h): true when it was done, with
  // its answer (if any) in *text; false with one line in *text that says why not.
  virtual bool Control(std::string_view command, std::string *text) = 0;
};

}  // namespace kvsys
