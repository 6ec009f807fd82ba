#include "rsrc/icon_formats.h"

#include <cstring>

#include "rsrc/bytes.h"

namespace kvplat::rsrc {

namespace {

constexpr int kMaxIconSide = 256;

bool Fail(std::string *error, const char *why) {
  if (error) *error = why;
  return false;
}

// Bytes per row of a bitmap, rows being padded to 32 bits.
std::size_t Stride(int width, int bitCount) { return ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4; }

uint32_t Bit(const uint8_t *row, int x) { return (row[x / 8] >> (7 - x % 8)) & 1; }

}  // namespace

bool ReadGroupIconDirectory(const void *data, std::size_t size, std::vector<uint16_t> *ids, std::string *error) {
  ByteReader r(data, size);
  uint16_t reserved = r.U16(), type = r.U16(), count = r.U16();
  if (!r.ok() || reserved != 0 || type != 1) return Fail(error, "not an icon group");
  if (r.remaining() < static_cast<std::size_t>(count) * 14) return Fail(error, "the icon group is truncated");
  ids->clear();
  for (int i = 0; i < count; ++i) {
    r.Skip(12);  // size, colours, planes, depth, bytes
    ids->push_back(r.U16());
  }
  return true;
}

bool DecodeIconImage(const void *data, std::size_t size, IconImage *out, std::string *error) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return Fail(error, "PNG-compressed icon images are not supported");

  ByteReader r(data, size);
  uint32_t headerSize = r.U32();
  int32_t width = static_cast<int32_t>(r.U32());
  int32_t doubleHeight = static_cast<int32_t>(r.U32());
  uint16_t planes = r.U16(), bitCount = r.U16();
  uint32_t compression = r.U32();
  r.Skip(12);  // image size, resolution
  uint32_t colorsUsed = r.U32();
  if (!r.ok() || headerSize < 40 || headerSize > size) return Fail(error, "not a bitmap header");
  int height = doubleHeight / 2;
  if (width < 1 || width > kMaxIconSide || height < 1 || height > kMaxIconSide) return Fail(error, "bad icon size");
  if (planes != 1 || compression != 0) return Fail(error, "unsupported bitmap format");
  if (bitCount != 4 && bitCount != 8 && bitCount != 32) return Fail(error, "unsupported colour depth");

  std::size_t paletteSize = 0;
  if (bitCount <= 8) {
    paletteSize = colorsUsed ? colorsUsed : 1u << bitCount;
    if (paletteSize > (1u << bitCount)) return Fail(error, "bad palette size");
  }
  const std::size_t xorStride = Stride(width, bitCount), andStride = Stride(width, 1);
  // Every term is small (sides of at most 256 pixels), so the sum cannot overflow.
  const std::size_t needed = headerSize + paletteSize * 4 + (xorStride + andStride) * height;
  if (needed > size) return Fail(error, "the icon image is truncated");
  if (!out) return true;

  const uint8_t *base = static_cast<const uint8_t *>(data);
  const uint8_t *palette = base + headerSize;
  const uint8_t *xorBits = palette + paletteSize * 4;
  const uint8_t *andBits = xorBits + xorStride * height;

  out->width = width;
  out->height = height;
  out->argb.assign(static_cast<std::size_t>(width) * height, 0);
  bool anyAlpha = false;
  for (int y = 0; y < height; ++y) {
    const uint8_t *row = xorBits + xorStride * (height - 1 - y);  // rows are stored bottom-up
    for (int x = 0; x < width; ++x) {
      uint32_t argb;
      if (bitCount == 32) {
        const uint8_t *p = row + static_cast<std::size_t>(x) * 4;
        argb = (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
        anyAlpha = anyAlpha || p[3] != 0;
      } else {
        uint32_t index = bitCount == 8 ? row[x] : (row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
        argb = 0xFF000000u;  // an index past the palette shows black
        if (index < paletteSize) {
          const uint8_t *q = palette + static_cast<std::size_t>(index) * 4;
          argb |= (uint32_t{q[2]} << 16) | (uint32_t{q[1]} << 8) | q[0];
        }
      }
      out->argb[static_cast<std::size_t>(y) * width + x] = argb;
    }
  }
  // The AND mask decides transparency unless a 32-bit image carries its own alpha.
  if (bitCount != 32 || !anyAlpha) {
    for (int y = 0; y < height; ++y) {
      const uint8_t *row = andBits + andStride * (height - 1 - y);
      for (int x = 0; x < width; ++x) {
        uint32_t &px = out->argb[static_cast<std::size_t>(y) * width + x];
        px = Bit(row, x) ? 0 : (px | 0xFF000000u);
      }
    }
  }
  return true;
}

}  // namespace kvplat::rsrc
