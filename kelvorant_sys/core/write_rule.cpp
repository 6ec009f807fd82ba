#include "core/write_rule.h"

namespace kvsys {

void ApplyWrite(uint8_t *image, size_t size, const uint8_t *writable, const uint8_t *w1c, size_t offset,
                const uint8_t *data, size_t length) {
  for (size_t i = 0; i < length && offset + i < size; ++i) {
    const size_t at = offset + i;
    image[at] = ApplyWriteRule(image[at], writable[at], w1c[at], data[i]);
  }
}

}  // namespace kvsys
