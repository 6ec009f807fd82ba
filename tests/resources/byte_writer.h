// Builds little-endian resource data for the tests: dialog templates and icon images made by hand.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ByteWriter {
 public:
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  // A UTF-16 string and its terminating zero.
  void String16(const std::u16string &s) {
    for (char16_t c : s) U16(c);
    U16(0);
  }
  void Bytes(const uint8_t *data, std::size_t size) { bytes_.insert(bytes_.end(), data, data + size); }
  // Pads with zeros up to the next multiple of four, counted from the start of the buffer.
  void AlignDword() {
    while (bytes_.size() % 4) U8(0);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};
