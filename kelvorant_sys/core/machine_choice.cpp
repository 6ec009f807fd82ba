#include "core/machine_choice.h"

#include <cstdio>

#include "core/machine_open.h"
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

bool IsHal(std::string_view text) { return SameWord(text, "hal"); }
bool IsDemo(std::string_view text) { return SameWord(text, "demo"); }
bool IsMachineFile(std::string_view text) { return text.size() >= 5 && SameWord(text.substr(text.size() - 5), ".json"); }
bool IsAnyPath(std::string_view text) { return !text.empty(); }

// The machine kinds, as pciutils lists its access methods: the first whose test the value passes is the
// value's kind (a word before a file name, a machine file before a dump).
struct MachineKindEntry {
  MachineKind kind;
  const char *name;                      // for the driver's lines
  bool (*names)(std::string_view text);  // the value, without its @DDDD
  bool is_file;                          // the value is the path of the file it is read from
  bool any_domain;                       // false: it serves domain 0000 only
  OpenMachineKind open;
};

constexpr MachineKindEntry kMachineKinds[] = {
    {MachineKind::kHal, "HAL", IsHal, false, false, OpenHalKind},
    {MachineKind::kDemo, "demo", IsDemo, false, true, OpenDemoKind},
    {MachineKind::kJson, "machine file", IsMachineFile, true, true, OpenJsonKind},
    {MachineKind::kDump, "lspci dump", IsAnyPath, true, true, OpenDumpKind},
};

const MachineKindEntry &EntryOf(MachineKind kind) {
  for (const MachineKindEntry &entry : kMachineKinds)
    if (entry.kind == kind) return entry;
  return kMachineKinds[0];
}

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
  for (const MachineKindEntry &entry : kMachineKinds) {
    if (!entry.names(text)) continue;
    if (!entry.any_domain && choice.domain != 0) {
      char domain_text[12];
      std::snprintf(domain_text, sizeof domain_text, "%04x", choice.domain);
      *why = std::string("the ") + entry.name + " reaches PCI domain 0000 only, not " + domain_text;
      return false;
    }
    choice.kind = entry.kind;
    if (entry.is_file) choice.path = std::string(text);
    *out = std::move(choice);
    return true;
  }
  *why = "no machine before the @";
  return false;
}

bool ChooseMachine(const MachineSetting &setting, const HalBus &bus, MachineChoice *out, std::string *why) {
  if (setting.present && !setting.text.empty()) return ParseMachineValue(setting.text, out, why);
  *out = MachineChoice{};
  out->kind = HalReachesConfigSpace(bus) ? MachineKind::kHal : MachineKind::kDemo;
  return true;
}

const char *MachineKindName(MachineKind kind) { return EntryOf(kind).name; }

bool OpenMachine(const MachineChoice &choice, const MachineSources &sources, OpenedMachine *out, std::string *why,
                 const Warn &warn) {
  out->domain = choice.domain;
  return EntryOf(choice.kind).open(choice, sources, out, why, warn);
}

}  // namespace kvsys
