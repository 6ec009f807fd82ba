// A little-endian reader that never leaves its bounds, for the binary formats of resources (dialog
// templates, icon directories, bitmaps).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kvplat::rsrc {

// Reads fields in order; a read past the end fails, leaves the value at zero and makes ok() false for good.
class ByteReader {
 public:
  ByteReader(const void *data, std::size_t size) : data_(static_cast<const uint8_t *>(data)), size_(size) {}

  bool ok() const { return ok_; }
  std::size_t offset() const { return pos_; }
  std::size_t remaining() const { return size_ - pos_; }

  uint16_t U16() {
    if (!Need(2)) return 0;
    uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t lo = U16();
    uint32_t hi = U16();
    return lo | (hi << 16);
  }
  // A zero-terminated UTF-16 string; fails when the terminator is missing.
  std::u16string String16() {
    std::u16string s;
    for (;;) {
      uint16_t c = U16();
      if (!ok_ || c == 0) return s;
      s.push_back(static_cast<char16_t>(c));
    }
  }
  const uint8_t *Bytes(std::size_t n) {
    if (!Need(n)) return nullptr;
    const uint8_t *p = data_ + pos_;
    pos_ += n;
    return p;
  }
  void Skip(std::size_t n) { Bytes(n); }
  // Moves to the next multiple of four from the start; the padding itself need not be present at the end.
  void AlignDword() {
    std::size_t next = (pos_ + 3) & ~static_cast<std::size_t>(3);
    pos_ = next <= size_ ? next : size_;
  }

 private:
  bool Need(std::size_t n) {
    if (!ok_ || n > size_ - pos_) {
      ok_ = false;
      return false;
    }
    return true;
  }

  const uint8_t *data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace kvplat::rsrc
