#include "linux/machine_backends.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/sim_loaders.h"
#include "host/host_files.h"
#include "linux/posix_text_files.h"
#include "linux/sysfs_machine.h"

namespace kvsys {

namespace {

std::string Domain(uint32_t domain) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", domain);
  return text;
}

// " (it holds functions of domain 0001: add @0001 to the path)", or "".
std::string OtherDomainsHint(const std::vector<uint32_t> &domains, const char *holder) {
  if (domains.empty()) return "";
  std::string list;
  for (size_t i = 0; i < domains.size(); ++i) list += (i ? ", " : "") + Domain(domains[i]);
  return std::string(" (") + holder + " functions of domain" + (domains.size() > 1 ? "s " : " ") + list + ": add @" +
         Domain(domains[0]) + " to the path)";
}

// Whether a file that was read as an lspci dump begins like JSON: a machine file whose name lacks ".json".
bool LooksLikeJson(const std::string &path) {
  std::string why;
  kvhost::UniqueFd fd = kvhost::OpenInput(path, UINT64_MAX, &why);
  char head[256];
  const ssize_t n = fd.valid() ? ::read(fd.get(), head, sizeof head) : -1;
  for (ssize_t i = 0; i < n; ++i) {
    if (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n') continue;
    return head[i] == '{';
  }
  return false;
}

void WarnIfEmpty(const SimMachine &machine, const MachineSource &source, const Warn &warn) {
  if (machine.function_count() != 0 || !warn) return;
  std::string line = source.path + ": no PCI function of domain " + Domain(source.domain) + " in this file";
  if (!machine.other_domains().empty()) {
    line += OtherDomainsHint(machine.other_domains(), "it holds");
  } else if (source.kind == SourceKind::kDump && LooksLikeJson(source.path)) {
    line += " (it looks like a JSON machine file: such a file's name ends in .json)";
  } else if (source.kind == SourceKind::kDump) {
    line += " (an lspci dump has a line \"BB:DD.F ...\" before each function's hex lines)";
  }
  warn(line);
}

std::unique_ptr<Machine> OpenSysfs(const MachineSource &source, FaultTable *, const Warn &warn, std::string *why) {
  SysfsOptions options;
  options.root = source.path;
  options.domain = source.domain;
  options.warn = warn;
  SysfsListing listing;
  std::unique_ptr<Machine> machine = OpenSysfsMachine(options, why, &listing);
  if (machine && !listing.any_served && warn) {
    warn(source.path + " lists no PCI function of domain " + Domain(source.domain) +
         OtherDomainsHint(listing.other_domains, "it lists"));
  }
  return machine;
}

std::unique_ptr<Machine> OpenDump(const MachineSource &source, FaultTable *, const Warn &warn, std::string *why) {
  PosixTextFiles files;
  std::unique_ptr<SimMachine> machine = LoadDumpMachine(source.path, source.domain, files, why);
  if (machine) WarnIfEmpty(*machine, source, warn);
  return machine;
}

std::unique_ptr<Machine> OpenJson(const MachineSource &source, FaultTable *faults, const Warn &warn,
                                  std::string *why) {
  PosixTextFiles files;
  std::unique_ptr<SimMachine> machine = LoadJsonMachine(source.path, source.domain, files, faults, why);
  if (machine) WarnIfEmpty(*machine, source, warn);
  return machine;
}

std::unique_ptr<Machine> OpenDemo(const MachineSource &source, FaultTable *, const Warn &warn, std::string *) {
  std::unique_ptr<SimMachine> machine = LoadDemoMachine(source.domain);
  if (machine->function_count() == 0 && warn) {
    warn("the demo machine has no PCI function of domain " + Domain(source.domain) + " (only of domain 0000)");
  }
  return machine;
}

}  // namespace

const MachineBackend kMachineBackends[] = {
    {"sysfs", SourceKind::kSysfs, OpenSysfs},
    {"dump", SourceKind::kDump, OpenDump},
    {"json", SourceKind::kJson, OpenJson},
    {"demo", SourceKind::kDemo, OpenDemo},
    {nullptr, SourceKind::kDefault, nullptr},
};

MachineSource ResolveMachineSource(MachineSource source) {
  if (source.kind != SourceKind::kDefault) return source;
  if (SysfsListsAnyFunction(kLiveSysfsRoot)) {
    source.kind = SourceKind::kSysfs;
    source.path = kLiveSysfsRoot;
  } else {
    source.kind = SourceKind::kDemo;
  }
  return source;
}

bool OpenMachine(const MachineSource &source, OpenedMachine *out, std::string *why, const Warn &warn) {
  const MachineSource resolved = ResolveMachineSource(source);
  for (const MachineBackend *b = kMachineBackends; b->name; ++b) {
    if (b->kind != resolved.kind) continue;
    FaultTable faults;
    std::unique_ptr<Machine> machine = b->open(resolved, &faults, warn, why);
    if (!machine) return false;
    out->machine = std::move(machine);
    out->faults = std::move(faults);
    out->domain = resolved.domain;
    out->backend = b;
    return true;
  }
  *why = "no machine backend for this source";
  return false;
}

}  // namespace kvsys
