#include "kvplat/terminal_text.h"

#include <cstdint>

namespace kvplat {

namespace {

// The lead bytes of well-formed UTF-8 (RFC 3629), each with its sequence's length and the range of the byte
// after it; the bytes after that are 80..BF. The narrowed ranges leave out overlong forms, surrogates and
// code points above U+10FFFF.
struct Lead {
  uint8_t first, last;
  size_t length;
  uint8_t low, high;
};
constexpr Lead kLeads[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

// The length of the well-formed UTF-8 sequence at the start of `text` and its code point, or 0.
size_t Utf8SequenceLength(std::string_view text, uint32_t *codePoint) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  for (const Lead &lead : kLeads) {
    if (byte(0) < lead.first || byte(0) > lead.last) continue;
    if (text.size() < lead.length || byte(1) < lead.low || byte(1) > lead.high) return 0;
    uint32_t value = byte(0) & (0x7F >> lead.length);
    for (size_t i = 1; i < lead.length; ++i) {
      if ((byte(i) & 0xC0) != 0x80) return 0;
      value = value << 6 | (byte(i) & 0x3F);
    }
    *codePoint = value;
    return lead.length;
  }
  return 0;
}

void AppendEscaped(std::string *out, uint8_t byte) {
  static const char kHex[] = "0123456789abcdef";
  *out += "\\x";
  *out += kHex[byte >> 4];
  *out += kHex[byte & 0xF];
}

}  // namespace

std::string EscapeForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      out += text[i++];
      continue;
    }
    uint32_t codePoint = 0;
    const size_t length = byte >= 0x80 ? Utf8SequenceLength(text.substr(i), &codePoint) : 0;
    const bool printable = length > 0 && codePoint > 0x9F;
    for (size_t n = 0; n < (length > 0 ? length : 1); ++n, ++i) {
      if (printable) out += text[i];
      else AppendEscaped(&out, static_cast<uint8_t>(text[i]));
    }
  }
  return out;
}

}  // namespace kvplat
