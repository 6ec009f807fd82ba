#include "linux/machine_backends.h"

#include "core/sim_loaders.h"
#include "linux/posix_text_files.h"
#include "linux/sysfs_machine.h"

namespace kvsys {

namespace {

std::unique_ptr<Machine> OpenSysfs(const MachineSource &source, FaultTable *, std::string *why) {
  SysfsOptions options;
  options.root = source.path;
  options.domain = source.domain;
  return OpenSysfsMachine(options, why);
}

std::unique_ptr<Machine> OpenDump(const MachineSource &source, FaultTable *, std::string *why) {
  PosixTextFiles files;
  return LoadDumpMachine(source.path, source.domain, files, why);
}

std::unique_ptr<Machine> OpenJson(const MachineSource &source, FaultTable *faults, std::string *why) {
  PosixTextFiles files;
  return LoadJsonMachine(source.path, source.domain, files, faults, why);
}

std::unique_ptr<Machine> OpenDemo(const MachineSource &source, FaultTable *, std::string *) {
  return LoadDemoMachine(source.domain);
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

bool OpenMachine(const MachineSource &source, OpenedMachine *out, std::string *why) {
  const MachineSource resolved = ResolveMachineSource(source);
  for (const MachineBackend *b = kMachineBackends; b->name; ++b) {
    if (b->kind != resolved.kind) continue;
    FaultTable faults;
    std::unique_ptr<Machine> machine = b->open(resolved, &faults, why);
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
