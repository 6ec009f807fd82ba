// What a configuration write does to the bytes of a function, as a pure function of the old bytes, the
// writable and write-one-to-clear masks and the new bytes. Nothing else happens on a write: side effects
// (a bus reset, a started self test) are not part of the model.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kvsys {

// Writable bits take the new value, the others keep the old one; then every write-one-to-clear bit that the
// new value sets is cleared.
constexpr uint8_t ApplyWriteRule(uint8_t old_byte, uint8_t writable, uint8_t w1c, uint8_t new_byte) {
  const uint8_t stored = static_cast<uint8_t>((old_byte & ~writable) | (new_byte & writable));
  return static_cast<uint8_t>(stored & ~(new_byte & w1c));
}

// The rule over `length` bytes starting at `offset` of an image of `size` bytes, whatever the access width:
// a 1-, 2- or 4-byte register access and a whole-space request are the same byte-wise rule. Bytes that fall
// beyond the image are dropped, as a bus drops writes to registers that do not exist. The masks are indexed
// like the image.
void ApplyWrite(uint8_t *image, size_t size, const uint8_t *writable, const uint8_t *w1c, size_t offset,
                const uint8_t *data, size_t length);

}  // namespace kvsys
