// The walk of a function's two capability lists, for whoever needs to know what lies where: the simulated
// hardware's default masks and the restore rules. A list that loops, or points into the header or out of
// its space, ends there.
#pragma once
#include <bitset>
#include <cstdint>

#include "core/pci_regs.h"

namespace kvsys {

// Calls visit(offset, id) for each standard capability, from the pointer in `pointer_register`; read(offset,
// width) gives the image's little-endian bytes.
template <class Read, class Visit>
void ForEachCapability(const Read &read, unsigned pointer_register, Visit visit) {
  std::bitset<kStandardSize / 4> been_there;
  for (unsigned at = read(pointer_register, 1) & kCapPointerMask; at >= kHeaderSize && !been_there[at / 4];
       at = read(at + 1, 1) & kCapPointerMask) {
    been_there[at / 4] = true;
    visit(at, static_cast<uint8_t>(read(at, 1)));
  }
}

// Calls visit(offset, header) for each extended capability, from 0x100; a header of 0 or all ones ends the
// list.
template <class Read, class Visit>
void ForEachExtendedCapability(const Read &read, Visit visit) {
  std::bitset<kExtendedSize / 4> been_there;
  for (unsigned at = kStandardSize; at >= kStandardSize && !been_there[at / 4];) {
    been_there[at / 4] = true;
    const uint32_t header = read(at, 4);
    if (header == 0 || header == 0xffffffff) break;
    visit(at, header);
    at = (header >> kExtCapNextShift) & kExtCapNextMask;
  }
}

}  // namespace kvsys
