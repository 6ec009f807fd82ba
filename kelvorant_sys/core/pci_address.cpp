#include "core/pci_address.h"

#include <cstdio>

namespace kvsys {

bool ParsePciAddress(std::string_view text, PciAddress *out, std::string *why) {
  const auto quoted = [text] { return "\"" + std::string(text) + "\""; };
  PciAddress a;
  std::string_view rest = text;
  // A domain is present when the text has two colons.
  const size_t first = rest.find(':');
  if (first != std::string_view::npos && rest.find(':', first + 1) != std::string_view::npos) {
    if ((first != 4 && first != 5) || !ParseHex(rest.substr(0, first), 5, &a.domain)) {
      *why = quoted() + " has a bad domain (4 or 5 hex digits expected)";
      return false;
    }
    a.has_domain = true;
    rest.remove_prefix(first + 1);
  }
  // BB:DD.F exactly.
  if (rest.size() != 7 || rest[2] != ':' || rest[5] != '.' || !ParseHex(rest.substr(0, 2), 2, &a.bus) ||
      !ParseHex(rest.substr(3, 2), 2, &a.device) || !ParseHex(rest.substr(6, 1), 1, &a.function)) {
    *why = quoted() + " is not a PCI address (BB:DD.F or DDDD:BB:DD.F)";
    return false;
  }
  if (!ValidBdf(a.bus, a.device, a.function)) {
    *why = quoted() + " is out of range (device 00-1f, function 0-7)";
    return false;
  }
  *out = a;
  return true;
}

int FormatBdf(char *text, size_t room, uint32_t domain, uint32_t bus, uint32_t device, uint32_t function) {
  if (domain != 0) return std::snprintf(text, room, "%04x:%02x:%02x.%x", domain, bus, device, function);
  return std::snprintf(text, room, "%02x:%02x.%x", bus, device, function);
}

std::string FormatAddress(const PciAddress &a) {
  char text[kBdfBytes];
  FormatBdf(text, sizeof text, a.domain, a.bus, a.device, a.function);
  return text;
}

}  // namespace kvsys
