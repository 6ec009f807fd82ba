// The writable and write-one-to-clear masks that a function has when its machine file gives none. They are
// computed from the function's present image whenever a write or reset needs them, not stored, so that a
// machine of 65,536 functions costs only its images.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kvsys {

// Fills writable[0, size) and w1c[0, size) for an image of `size` bytes (at most 4096):
// - every header type: the command register's usual bits, status error bits write-one-to-clear, cache line
//   size and latency timer; identification, class code, header type and capability pointer read-only;
// - type 0: six BARs and the expansion ROM (their type bits read-only, a 64-bit BAR's upper half writable),
//   interrupt line;
// - type 1: two BARs, bus numbers, I/O, memory and prefetchable windows (the upper halves only when the
//   window is 32/64-bit), secondary status errors write-one-to-clear, expansion ROM, interrupt line, bridge
//   control;
// - type 2: socket base, bus numbers, the four CardBus windows, secondary status, interrupt line, bridge
//   control; the subsystem IDs at 0x40 read-only;
// - from 0x40 on everything, except the ID and next-pointer bytes of the standard capabilities and the header
//   dwords of the extended capabilities. A chain that loops or leaves the image ends the walk.
void ComputeDefaultMasks(const uint8_t *image, size_t size, uint8_t *writable, uint8_t *w1c);

}  // namespace kvsys
