// The address of a PCI function, and the 16-bit index under which a machine keeps the functions of its one
// served domain.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvsys {

// bus << 8 | device << 3 | function: every function of a domain has exactly one index from 0 to 65535.
using FunctionIndex = uint16_t;
constexpr unsigned kFunctionCount = 65536;

struct PciAddress {
  uint32_t domain = 0;
  uint32_t bus = 0;       // 0-255
  uint32_t device = 0;    // 0-31
  uint32_t function = 0;  // 0-7
  bool has_domain = false;  // written with a domain ("0001:02:00.0") rather than without ("02:00.0")

  FunctionIndex Index() const { return static_cast<FunctionIndex>(bus << 8 | device << 3 | function); }
};

inline bool ValidBdf(uint32_t bus, uint32_t device, uint32_t function) {
  return bus <= 0xff && device <= 0x1f && function <= 7;
}

inline PciAddress AddressOfIndex(uint32_t domain, FunctionIndex index) {
  PciAddress a;
  a.domain = domain;
  a.bus = index >> 8u;
  a.device = index >> 3u & 0x1fu;
  a.function = index & 7u;
  return a;
}

// Parses "BB:DD.F" or "DDDD:BB:DD.F" (a 4- or 5-digit domain), as lspci writes them. On failure returns false
// and says why in *why.
bool ParsePciAddress(std::string_view text, PciAddress *out, std::string *why);

// "bb:dd.f" as lspci writes it, with a "dddd:" prefix when the domain is not 0000, into `text` of `room`
// bytes (kBdfBytes hold any), as snprintf: the length of the whole text. The numbers are printed whatever
// their range, so that a request for bus 300 is still traced as sent.
constexpr size_t kBdfBytes = 40;
int FormatBdf(char *text, size_t room, uint32_t domain, uint32_t bus, uint32_t device, uint32_t function);
std::string FormatAddress(const PciAddress &a);

// Inline: a dump of a whole machine asks them for every one of its millions of digits, and ParseHex for the
// offset of each of its lines.
inline bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline unsigned HexValue(char c) {  // for a hex digit
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return static_cast<unsigned>(c - 'A' + 10);
}

// Parses 1 to max_digits hex digits making up the whole of text.
inline bool ParseHex(std::string_view text, unsigned max_digits, uint32_t *value) {
  if (text.empty() || text.size() > max_digits || max_digits > 8) return false;
  uint32_t v = 0;
  for (char c : text) {
    if (!IsHexDigit(c)) return false;
    v = v << 4 | HexValue(c);
  }
  *value = v;
  return true;
}

}  // namespace kvsys
