// The machine backends the driver can serve from, in one explicit table: the live sysfs, an lspci dump, a
// JSON machine file, the built-in demo.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "core/faults.h"
#include "core/machine.h"
#include "core/machine_source.h"

namespace kvsys {

// Says one line about a machine that is served all the same (a folder or file without a function of the
// served domain, a config file refused).
using Warn = std::function<void(const std::string &line)>;

struct MachineBackend {
  const char *name;
  SourceKind kind;
  // Null with one line in *why (naming the file and the line or place) when the machine cannot be built.
  std::unique_ptr<Machine> (*open)(const MachineSource &source, FaultTable *faults, const Warn &warn,
                                   std::string *why);
};

extern const MachineBackend kMachineBackends[];

struct OpenedMachine {
  std::unique_ptr<Machine> machine;
  FaultTable faults;
  uint32_t domain = 0;
  const MachineBackend *backend = nullptr;
};

// The default source: the live sysfs when /sys/bus/pci/devices lists a function, else the demo. Other
// sources come back unchanged.
MachineSource ResolveMachineSource(MachineSource source);

// Opens the source through its backend. False with one line in *why.
bool OpenMachine(const MachineSource &source, OpenedMachine *out, std::string *why, const Warn &warn = nullptr);

}  // namespace kvsys
