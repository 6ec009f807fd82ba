// Which register writes put a saved configuration back into live hardware, following the practice of the
// Linux kernel's configuration restore: only registers that differ from the device's present value are
// written, from the highest offset down (so that the command register, which enables decoding, comes after
// the base addresses and windows), and never
//   - the identification dwords (vendor/device ID at 0x00, revision/class at 0x08),
//   - the header type and BIST bytes (read-only, and writing BIST can start a self test),
//   - the write-one-to-clear status registers (status at 0x06, a bridge's secondary status), which would
//     clear whatever error bits the saved image happens to hold: the command register and a bridge's I/O
//     window next to them are written as 16-bit words instead.
#pragma once
#include <cstdint>
#include <cstring>

#include "core/pci_regs.h"

namespace kvsys {

struct RegisterWrite {
  unsigned offset;  // configuration offset
  unsigned width;   // 2 or 4 bytes
  bool operator==(const RegisterWrite &) const = default;
};

// The part of the dword at `dword` that may be written back in a function of this header type: width 0 for
// none.
RegisterWrite WritablePart(unsigned dword, uint8_t header_type);

// present and wanted hold offsets [first, first + length) of the function; only the first `known` bytes of
// present were read from the device, and past them it reads as all ones, as a read that nothing answers: a
// register saved with another value is written there too (and fails where it cannot land). first and length
// are multiples of 4. Calls visit(write) in plan order, without allocating (for a kernel's request path), and
// stops as soon as it returns false. Returns false when it was stopped.
template <class Visit>
bool VisitRestoreWrites(unsigned first, unsigned length, const uint8_t *present, unsigned known,
                        const uint8_t *wanted, Visit visit) {
  if (known > length) known = length;
  const uint8_t header_type =
      first == 0 && known > kRegHeaderType ? present[kRegHeaderType] & kHeaderTypeMask : kHeaderNormal;
  const auto differs = [&](unsigned at, unsigned width) {
    if (at + width <= known) return std::memcmp(present + at, wanted + at, width) != 0;
    for (unsigned i = at; i < at + width; ++i)
      if ((i < known ? present[i] : 0xff) != wanted[i]) return true;
    return false;
  };
  for (unsigned end = length & ~3u; end > 0; end -= 4) {
    const RegisterWrite part = WritablePart(first + end - 4, header_type);
    if (part.width && differs(part.offset - first, part.width) && !visit(part)) return false;
  }
  return true;
}

}  // namespace kvsys
