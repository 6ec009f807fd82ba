// The run-time library's strings: RtlInitUnicodeString and the conversions between UTF-8 and UTF-16.
#include <algorithm>
#include <cstring>

#include "kernel_strings.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code points of UTF-8; an ill-formed sequence (overlong, a surrogate, past U+10FFFF, cut off) is
// U+FFFD for its first byte, and clears *mapped.
std::u32string DecodeUtf8(const unsigned char *text, size_t size, bool *mapped) {
  std::u32string codes;
  for (size_t at = 0; at < size;) {
    const unsigned char lead = text[at++];
    const int extra = lead < 0x80 ? 0 : lead >= 0xF5 ? -1 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    char32_t code = extra <= 0 ? lead : lead & (0x3F >> extra);
    bool good = extra >= 0 && at + static_cast<size_t>(extra) <= size;
    for (int i = 0; good && i < extra; ++i) {
      good = (text[at + static_cast<size_t>(i)] & 0xC0) == 0x80;
      code = code << 6 | (text[at + static_cast<size_t>(i)] & 0x3F);
    }
    const char32_t least = extra <= 0 ? 0 : extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
    good = good && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (good) at += static_cast<size_t>(extra);
    *mapped = *mapped && good;
    codes += good ? code : kReplacement;
  }
  return codes;
}

// The code points of UTF-16; a lone surrogate is U+FFFD, and clears *mapped.
std::u32string DecodeUtf16(const WCHAR *text, size_t size, bool *mapped) {
  std::u32string codes;
  for (size_t at = 0; at < size;) {
    const char32_t unit = text[at++];
    if (unit < 0xD800 || unit > 0xDFFF) {
      codes += unit;
    } else if (unit <= 0xDBFF && at < size && text[at] >= 0xDC00 && text[at] <= 0xDFFF) {
      codes += static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (text[at++] - 0xDC00));
    } else {
      codes += kReplacement;
      *mapped = false;
    }
  }
  return codes;
}

std::string EncodeUtf8(const std::u32string &codes) {
  std::string out;
  for (const char32_t c : codes) {
    const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(extra == 0 ? c : ((0xF0 << (3 - extra)) & 0xF0) | c >> (6 * extra));
    for (int i = extra - 1; i >= 0; --i) out += static_cast<char>(0x80 | (c >> (6 * i) & 0x3F));
  }
  return out;
}

std::u16string EncodeUtf16(const std::u32string &codes) {
  std::u16string out;
  for (const char32_t c : codes) {
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

// Copies what fits of `units` (all of it without a destination: the count only), as Windows answers:
// STATUS_BUFFER_TOO_SMALL when it did not fit, else STATUS_SOME_NOT_MAPPED when a sequence became U+FFFD.
template <typename Unit>
NTSTATUS Deliver(const std::basic_string<Unit> &units, bool mapped, Unit *out, ULONG maxBytes, PULONG actualBytes) {
  const size_t fit = out ? std::min<size_t>(units.size(), maxBytes / sizeof(Unit)) : units.size();
  if (out) std::memcpy(out, units.data(), fit * sizeof(Unit));
  *actualBytes = static_cast<ULONG>(fit * sizeof(Unit));
  if (fit < units.size()) return STATUS_BUFFER_TOO_SMALL;
  return mapped ? STATUS_SUCCESS : STATUS_SOME_NOT_MAPPED;
}

}  // namespace

extern "C" void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source) {
  size_t length = 0;
  while (source && source[length]) ++length;
  destination->Buffer = const_cast<PWSTR>(source);
  destination->Length = static_cast<USHORT>(length * sizeof(WCHAR));
  destination->MaximumLength = source ? static_cast<USHORT>(destination->Length + sizeof(WCHAR)) : 0;
}

extern "C" NTSTATUS RtlUTF8ToUnicodeN(PWSTR unicodeStringDestination, ULONG unicodeStringMaxByteCount,
                                      PULONG unicodeStringActualByteCount, PCCH utf8StringSource,
                                      ULONG utf8StringByteCount) {
  if (!unicodeStringActualByteCount || (!utf8StringSource && utf8StringByteCount)) return STATUS_INVALID_PARAMETER;
  bool mapped = true;
  const auto *text = reinterpret_cast<const unsigned char *>(utf8StringSource);
  const std::u16string units = EncodeUtf16(DecodeUtf8(text, utf8StringByteCount, &mapped));
  return Deliver(units, mapped, unicodeStringDestination, unicodeStringMaxByteCount, unicodeStringActualByteCount);
}

extern "C" NTSTATUS RtlUnicodeToUTF8N(PCHAR utf8StringDestination, ULONG utf8StringMaxByteCount,
                                      PULONG utf8StringActualByteCount, PCWCH unicodeStringSource,
                                      ULONG unicodeStringByteCount) {
  if (!utf8StringActualByteCount || (!unicodeStringSource && unicodeStringByteCount)) return STATUS_INVALID_PARAMETER;
  bool mapped = true;
  const std::string units = EncodeUtf8(DecodeUtf16(unicodeStringSource, unicodeStringByteCount / sizeof(WCHAR), &mapped));
  return Deliver(units, mapped, utf8StringDestination, utf8StringMaxByteCount, utf8StringActualByteCount);
}

namespace kvplat {

std::string Utf8Of(const UNICODE_STRING *text) {
  bool mapped = true;
  return text && text->Buffer ? EncodeUtf8(DecodeUtf16(text->Buffer, text->Length / sizeof(WCHAR), &mapped)) : "";
}

std::u16string Utf16Of(std::string_view text) {
  bool mapped = true;
  return EncodeUtf16(DecodeUtf8(reinterpret_cast<const unsigned char *>(text.data()), text.size(), &mapped));
}

}  // namespace kvplat
