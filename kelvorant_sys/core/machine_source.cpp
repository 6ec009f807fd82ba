#include "core/machine_source.h"

#include "core/pci_address.h"

namespace kvsys {

namespace {

bool EndsWithJson(std::string_view path) {
  if (path.size() < 5) return false;
  std::string_view tail = path.substr(path.size() - 5);
  std::string lower(tail);
  for (char &c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lower == ".json";
}

}  // namespace

MachineSource ParseMachineSource(std::string_view text) {
  MachineSource source;
  // "@DDDD" at the end selects the domain; an '@' followed by anything else is part of a file name.
  const size_t at = text.rfind('@');
  uint32_t domain = 0;
  if (at != std::string_view::npos && text.size() - at - 1 >= 4 && ParseHex(text.substr(at + 1), 5, &domain)) {
    source.domain = domain;
    text = text.substr(0, at);
  }
  if (text.empty()) {
    source.kind = SourceKind::kDefault;
  } else if (text == "sysfs") {
    source.kind = SourceKind::kSysfs;
    source.path = kLiveSysfsRoot;
  } else if (text.starts_with("sysfs:")) {
    source.kind = SourceKind::kSysfs;
    source.path = std::string(text.substr(6));
  } else if (text == "demo") {
    source.kind = SourceKind::kDemo;
  } else {
    source.kind = EndsWithJson(text) ? SourceKind::kJson : SourceKind::kDump;
    source.path = std::string(text);
  }
  return source;
}

}  // namespace kvsys
