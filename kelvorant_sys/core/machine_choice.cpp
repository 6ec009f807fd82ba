#include "core/machine_choice.h"

#include <algorithm>
#include <cstdio>

#include "core/dump_reader.h"
#include "core/machine_file.h"

namespace kvsys {

namespace {

std::string DomainText(uint32_t domain) {
  char text[12];
  std::snprintf(text, sizeof text, "%04x", domain);
  return text;
}

// The text is the word (in lower case), in any case.
bool SameWord(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if ((text[i] >= 'A' && text[i] <= 'Z' ? text[i] - 'A' + 'a' : text[i]) != word[i]) return false;
  return true;
}

// A dump gives each function once: a second image for an address would silently replace the first.
DumpReader::Sink IntoMachine(SimMachine &machine) {
  return [&machine](const PciAddress &address, std::span<const uint8_t> image) -> std::string {
    if (address.domain != machine.domain()) {
      machine.NoteOtherDomain(address.domain);
    } else if (machine.Has(address.Index())) {
      return FormatAddress(address) + " appears a second time (a machine has one function at an address)";
    } else {
      machine.Put(address.Index(), image);
    }
    return "";
  };
}

// Adds every function of a dump file to the machine; false with "path:N: reason" in *why.
bool AddDumpFile(SimMachine &machine, const std::string &path, TextFiles &files, std::string *why) {
  DumpReader reader(IntoMachine(machine));
  std::string reason;
  const bool read = files.ReadLines(path, [&](std::string_view line) { return reader.Feed(line); }, &reason);
  if (read) reader.Finish();
  if (!reader.error().empty()) {
    *why = path + ":" + std::to_string(reader.line()) + ": " + reader.error();
    return false;
  }
  if (!read) {
    *why = path + ": " + reason;
    return false;
  }
  return true;
}

// Whether a file that was read as an lspci dump begins like JSON: a machine file whose name lacks ".json".
bool LooksLikeJson(const std::string &path, TextFiles &files) {
  bool json = false;
  std::string ignored;
  files.ReadLines(
      path,
      [&json](std::string_view line) {
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos) return true;  // a blank line: read on
        json = line[first] == '{';
        return false;
      },
      &ignored);
  return json;
}

// The line about a file without a function of the served domain, with a hint at why.
std::string EmptyFileLine(const SimMachine &machine, const MachineChoice &choice, TextFiles &files) {
  std::string line = choice.path + ": no PCI function of domain " + DomainText(choice.domain) + " in this file";
  const std::vector<uint32_t> domains = machine.other_domains();
  if (!domains.empty()) {
    constexpr size_t kNamed = 8;  // a dump may hold a million domains: the line names the first few
    line += std::string(" (it holds functions of domain") + (domains.size() > 1 ? "s " : " ");
    for (size_t i = 0; i < std::min(domains.size(), kNamed); ++i) line += (i ? ", " : "") + DomainText(domains[i]);
    if (domains.size() > kNamed) line += " and " + std::to_string(domains.size() - kNamed) + " more";
    return line + ": end the machine's name in @" + DomainText(domains[0]) + ")";
  }
  if (choice.kind == MachineKind::kJson) return line;
  if (LooksLikeJson(choice.path, files))
    return line + " (it looks like a JSON machine file: such a file's name ends in .json)";
  return line + " (an lspci dump has a line \"BB:DD.F ...\" before each function's hex lines)";
}

}  // namespace

bool ParseMachineValue(std::string_view text, MachineChoice *out, std::string *why) {
  MachineChoice choice;
  // "@DDDD" at the end selects the domain; an '@' followed by anything else is part of a file name.
  const size_t at = text.rfind('@');
  if (at != std::string_view::npos && text.size() - at - 1 >= 4 && ParseHex(text.substr(at + 1), 5, &choice.domain))
    text = text.substr(0, at);
  if (text.empty()) {
    *why = "no machine before the @";
    return false;
  }
  // A word before a file name, a machine file before a dump.
  if (SameWord(text, "hal")) {
    if (choice.domain != 0) {
      *why = "the HAL reaches PCI domain 0000 only, not " + DomainText(choice.domain);
      return false;
    }
    choice.kind = MachineKind::kHal;
  } else if (SameWord(text, "demo")) {
    choice.kind = MachineKind::kDemo;
  } else {
    choice.kind = text.size() >= 5 && SameWord(text.substr(text.size() - 5), ".json") ? MachineKind::kJson
                                                                                        : MachineKind::kDump;
    choice.path = std::string(text);
  }
  *out = std::move(choice);
  return true;
}

bool ChooseMachine(std::string_view value, const HalBus &bus, MachineChoice *out, std::string *why) {
  if (!value.empty()) return ParseMachineValue(value, out, why);
  *out = MachineChoice{};
  out->kind = HalReachesConfigSpace(bus) ? MachineKind::kHal : MachineKind::kDemo;
  return true;
}

const char *MachineKindName(MachineKind kind) {
  const char *const names[] = {"HAL", "demo", "lspci dump", "machine file"};  // in MachineKind's order
  return names[static_cast<int>(kind)];
}

std::unique_ptr<SimMachine> LoadDemoMachine(uint32_t domain) {
  auto machine = std::make_unique<SimMachine>(domain);
  // The capture is part of the build and known to be well formed (a test reads it too).
  DumpReader reader(IntoMachine(*machine));
  reader.FeedText(DemoCapture());
  reader.Finish();
  return machine;
}

std::unique_ptr<SimMachine> LoadJsonMachine(const std::string &path, uint32_t domain, TextFiles &files,
                                            FaultTable *faults, std::string *why) {
  std::string text, reason;
  MachineFile file;
  if (!files.ReadText(path, &text, &reason) || !ParseMachineFile(text, &file, &reason)) {
    *why = path + ": " + reason;
    return nullptr;
  }
  auto machine = std::make_unique<SimMachine>(domain);
  // The dump's name is relative to the machine file's folder unless it is absolute.
  const std::string &dump = file.dump.value_or("");
  const bool absolute = dump.starts_with('/') || dump.starts_with('\\') || (dump.size() > 1 && dump[1] == ':');
  const std::string dump_path = absolute ? dump : path.substr(0, path.find_last_of("/\\") + 1) + dump;
  if (file.dump && !AddDumpFile(*machine, dump_path, files, why)) return nullptr;
  for (MachineFileFunction &f : file.functions) {
    if (f.address.domain == domain) {
      machine->Put(f.address.Index(), f.config, {std::move(f.writable), std::move(f.clear_on_write)});
    } else {
      machine->NoteOtherDomain(f.address.domain);
    }
  }
  std::erase_if(file.faults, [domain](const FaultRule &rule) { return rule.address.domain != domain; });
  *faults = std::move(file.faults);
  return machine;
}

bool OpenMachine(const MachineChoice &choice, const HalBus &bus, const EcamSpace &ecam, TextFiles &files,
                 OpenedMachine *out, std::string *why, const Warn &warn) {
  out->domain = choice.domain;
  if (choice.kind == MachineKind::kHal) {
    out->machine = std::make_unique<HalMachine>(bus, ecam);
    return true;
  }
  std::unique_ptr<SimMachine> machine;
  if (choice.kind == MachineKind::kDemo) {
    machine = LoadDemoMachine(choice.domain);
  } else if (choice.kind == MachineKind::kJson) {
    machine = LoadJsonMachine(choice.path, choice.domain, files, &out->faults, why);
  } else {
    machine = std::make_unique<SimMachine>(choice.domain);
    if (!AddDumpFile(*machine, choice.path, files, why)) return false;
  }
  if (!machine) return false;
  if (machine->function_count() == 0) {
    warn(choice.kind == MachineKind::kDemo ? "the demo machine has no PCI function of domain " +
                                                 DomainText(choice.domain) + " (only of domain 0000)"
                                           : EmptyFileLine(*machine, choice, files));
  }
  out->machine = std::move(machine);
  return true;
}

}  // namespace kvsys
