// Which register writes put a saved configuration back into live hardware, following the practice of the
// Linux kernel's configuration restore: only registers that differ from the device's present value are
// written, from the highest offset down (so that the command register, which enables decoding, comes after
// the base addresses and windows), and never
//   - the identification dwords (vendor/device ID at 0x00, revision/class at 0x08),
//   - the header type and BIST bytes (read-only, and writing BIST can start a self test),
//   - a status register, whose error bits clear when written with 1 and would lose whatever errors the
//     saved image happens to hold: the status at 0x06, a bridge's secondary status, the PCI-X, PCI Express
//     (device, link, slot, root), AER (uncorrectable, correctable, root error), DPC, secondary PCI Express
//     lane error and SR-IOV status. The control register beside one is written as a 16-bit word instead; a
//     bridge's discard timer status, which shares its register with control bits, is written as 0,
//   - what a write would start rather than restore: power management's control and status (the power state;
//     the kernel sets it, never restores it) and the VPD address and data (a set flag starts an EEPROM write).
// The capabilities are found through the saved image's capability lists; a PCI Express capability has the
// link, slot and root registers that its device type has, as the kernel's pcie_capability_reg_implemented.
#pragma once
#include <bitset>
#include <cstdint>
#include <cstring>

#include "core/pci_regs.h"

namespace kvsys {

struct RegisterWrite {
  unsigned offset;   // configuration offset
  unsigned width;    // 2 or 4 bytes
  uint8_t value[4];  // the saved bytes, with the status bits that share the register at 0
};

// What a restore may write of each dword of a function's configuration space, learnt from the header type and
// from the capability lists of the saved image of offsets [first, first + length). Holds no allocation.
class RestoreRules {
 public:
  RestoreRules(unsigned first, unsigned length, const uint8_t *image, uint8_t header_type);

  // The part of the dword at `dword` that may be written (width 0 for none), and in value[] the bits of it
  // that are to be written as 0 (all ones elsewhere).
  RegisterWrite Part(unsigned dword) const;

 private:
  void StandardCapabilities(unsigned first, unsigned length, const uint8_t *image, unsigned pointer);
  void PciExpress(unsigned first, unsigned length, const uint8_t *image, unsigned at);
  void ExtendedCapabilities(unsigned first, unsigned length, const uint8_t *image);

  uint8_t header_type_;
  std::bitset<kExtendedSize / 4> unwritten_;  // by dword: a status register, or one a write would act on
  std::bitset<kExtendedSize / 4> low_half_;   // by dword: a control register with its status above it
};

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
  const RestoreRules rules(first, length, wanted, header_type);
  for (unsigned end = length & ~3u; end > 0; end -= 4) {
    RegisterWrite part = rules.Part(first + end - 4);
    bool differs = false;
    for (unsigned i = 0, at = part.offset - first; i < part.width; ++i, ++at) {
      const uint8_t keep = part.value[i];
      part.value[i] = static_cast<uint8_t>(wanted[at] & keep);
      differs = differs || ((at < known ? present[at] : 0xff) & keep) != part.value[i];
    }
    if (differs && !visit(part)) return false;
  }
  return true;
}

}  // namespace kvsys
