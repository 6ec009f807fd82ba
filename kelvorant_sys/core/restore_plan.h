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
#include <vector>

namespace kvsys {

struct RegisterWrite {
  unsigned offset;  // configuration offset
  unsigned width;   // 2 or 4 bytes
  bool operator==(const RegisterWrite &) const = default;
};

// present and wanted hold offsets [first, first + length) of the function; only the first `known` bytes of
// present were read from the device, and nothing past them is written. first and length are multiples of 4.
std::vector<RegisterWrite> PlanRestoreWrites(unsigned first, unsigned length, const uint8_t *present,
                                             unsigned known, const uint8_t *wanted);

// The same plan, one write at a time and without allocating, for a kernel's request path: calls
// visit(context, write) in plan order and stops as soon as it returns false. Returns false when it was stopped.
using RestoreWriteVisitor = bool (*)(void *context, const RegisterWrite &write);
bool VisitRestoreWrites(unsigned first, unsigned length, const uint8_t *present, unsigned known,
                        const uint8_t *wanted, RestoreWriteVisitor visit, void *context);

}  // namespace kvsys
