#include "core/machine_open.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "core/sim_loaders.h"

namespace kvsys {

namespace {

std::string Domain(uint32_t domain) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", domain);
  return text;
}

// " (it holds functions of domain 0001: add @0001 to the path)", or "".
std::string OtherDomainsHint(const std::vector<uint32_t> &domains) {
  if (domains.empty()) return "";
  std::string list;
  for (size_t i = 0; i < domains.size(); ++i) list += (i ? ", " : "") + Domain(domains[i]);
  return std::string(" (it holds functions of domain") + (domains.size() > 1 ? "s " : " ") + list + ": add @" +
         Domain(domains[0]) + " to the path)";
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

void WarnIfEmpty(const SimMachine &machine, const MachineChoice &choice, TextFiles &files, const Warn &warn) {
  if (machine.function_count() != 0) return;
  std::string line = choice.path + ": no PCI function of domain " + Domain(choice.domain) + " in this file";
  if (!machine.other_domains().empty()) {
    line += OtherDomainsHint(machine.other_domains());
  } else if (choice.kind == MachineKind::kDump && LooksLikeJson(choice.path, files)) {
    line += " (it looks like a JSON machine file: such a file's name ends in .json)";
  } else if (choice.kind == MachineKind::kDump) {
    line += " (an lspci dump has a line \"BB:DD.F ...\" before each function's hex lines)";
  }
  warn(line);
}

}  // namespace

bool OpenHalKind(const MachineChoice &, const MachineSources &sources, OpenedMachine *out, std::string *,
                 const Warn &) {
  out->machine = std::make_unique<HalMachine>(sources.bus, sources.ecam);
  out->domain = 0;
  return true;
}

bool OpenDemoKind(const MachineChoice &choice, const MachineSources &, OpenedMachine *out, std::string *,
                  const Warn &warn) {
  std::unique_ptr<SimMachine> machine = LoadDemoMachine(choice.domain);
  if (machine->function_count() == 0)
    warn("the demo machine has no PCI function of domain " + Domain(choice.domain) + " (only of domain 0000)");
  out->machine = std::move(machine);
  return true;
}

bool OpenDumpKind(const MachineChoice &choice, const MachineSources &sources, OpenedMachine *out, std::string *why,
                  const Warn &warn) {
  std::unique_ptr<SimMachine> machine = LoadDumpMachine(choice.path, choice.domain, sources.files, why);
  if (!machine) return false;
  WarnIfEmpty(*machine, choice, sources.files, warn);
  out->machine = std::move(machine);
  return true;
}

bool OpenJsonKind(const MachineChoice &choice, const MachineSources &sources, OpenedMachine *out, std::string *why,
                  const Warn &warn) {
  std::unique_ptr<SimMachine> machine = LoadJsonMachine(choice.path, choice.domain, sources.files, &out->faults, why);
  if (!machine) return false;
  WarnIfEmpty(*machine, choice, sources.files, warn);
  out->machine = std::move(machine);
  return true;
}

}  // namespace kvsys
