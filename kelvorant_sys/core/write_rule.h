// What a configuration write does to the bytes of a function, as a pure function of the old bytes, the
// writable and write-one-to-clear masks and the new bytes. Nothing else happens on a write: side effects
// (a bus reset, a started self test) are not part of the model.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kvsys {

// Over `length` bytes from `offset` of an image of `size` bytes, whatever the access width: writable bits
// take the new value, the others keep the old one; then every write-one-to-clear bit that the new value sets
// is cleared. Bytes that fall beyond the image are dropped, as a bus drops writes to registers that do not
// exist. The masks are indexed like the image.
inline void ApplyWrite(uint8_t *image, size_t size, const uint8_t *writable, const uint8_t *w1c, size_t offset,
                       const uint8_t *data, size_t length) {
  for (size_t i = 0; i < length && offset + i < size; ++i) {
    const size_t at = offset + i;
    const auto stored = static_cast<uint8_t>((image[at] & ~writable[at]) | (data[i] & writable[at]));
    image[at] = static_cast<uint8_t>(stored & ~(data[i] & w1c[at]));
  }
}

}  // namespace kvsys
