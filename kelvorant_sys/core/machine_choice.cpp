#include "core/machine_choice.h"

#include <cstdio>

#include "core/pci_address.h"

namespace kvsys {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameWord(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (Lower(text[i]) != word[i]) return false;
  return true;
}

bool EndsWithJson(std::string_view path) { return path.size() >= 5 && SameWord(path.substr(path.size() - 5), ".json"); }

}  // namespace

bool ParseMachineValue(std::string_view text, MachineChoice *out, std::string *why) {
  MachineChoice choice;
  // "@DDDD" at the end selects the domain; an '@' followed by anything else is part of a file name.
  const size_t at = text.rfind('@');
  uint32_t domain = 0;
  if (at != std::string_view::npos && text.size() - at - 1 >= 4 && ParseHex(text.substr(at + 1), 5, &domain)) {
    choice.domain = domain;
    text = text.substr(0, at);
  }
  if (SameWord(text, "hal")) {
    if (choice.domain != 0) {
      char domain_text[12];
      std::snprintf(domain_text, sizeof domain_text, "%04x", choice.domain);
      *why = std::string("the HAL reaches PCI domain 0000 only, not ") + domain_text;
      return false;
    }
    choice.kind = MachineKind::kHal;
  } else if (SameWord(text, "demo")) {
    choice.kind = MachineKind::kDemo;
  } else if (text.empty()) {
    *why = "no machine before the @";
    return false;
  } else {
    choice.kind = EndsWithJson(text) ? MachineKind::kJson : MachineKind::kDump;
    choice.path = std::string(text);
  }
  *out = std::move(choice);
  return true;
}

bool ChooseMachine(const MachineSetting &setting, const HalBus &bus, MachineChoice *out, std::string *why) {
  if (setting.present && !setting.text.empty()) return ParseMachineValue(setting.text, out, why);
  *out = MachineChoice{};
  out->kind = HalReachesConfigSpace(bus) ? MachineKind::kHal : MachineKind::kDemo;
  return true;
}

const char *MachineKindName(MachineKind kind) {
  switch (kind) {
    case MachineKind::kHal:
      return "HAL";
    case MachineKind::kDemo:
      return "demo";
    case MachineKind::kDump:
      return "lspci dump";
    case MachineKind::kJson:
      break;
  }
  return "machine file";
}

}  // namespace kvsys
