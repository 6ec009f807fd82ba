// Which machine the driver serves, and building it: one table of machine kinds (machine_choice.cpp), each
// with its name, how a value names it and how it is opened. The string value `Machine` under the driver's
// service key decides when it is there (the platform fills it from KELVORANT_MACHINE on Linux):
//   demo        the built-in demo machine, a captured laptop
//   hal         this computer, through the HAL's bus-data routines
//   PATH        a machine file when PATH ends in .json, else an lspci dump, read with the kernel's file routines
// demo and PATH may end in @DDDD to serve that PCI domain instead of 0000; demo and hal are words in any
// case. Without the value (or with an empty one) the driver serves the HAL when it reaches configuration
// space (some device answers on bus 0) and the demo machine otherwise, as under Wine, which has no PCI
// hardware: the program creates the service afresh at every start, so a value could not be set in between.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/faults.h"
#include "core/hal_machine.h"
#include "core/machine.h"
#include "core/text_files.h"

namespace kvsys {

enum class MachineKind { kHal, kDemo, kDump, kJson };

struct MachineChoice {
  MachineKind kind = MachineKind::kDemo;
  std::string path;     // the file of kDump and kJson
  uint32_t domain = 0;  // the served PCI domain
};

// Parses a Machine value. False with the reason in *why when it names no machine it can serve ("hal@0001":
// the HAL reaches domain 0000 only).
bool ParseMachineValue(std::string_view text, MachineChoice *out, std::string *why);

struct MachineSetting {
  bool present = false;   // the value exists under the service key
  std::string_view text;  // its text (REG_SZ)
};

// The value's machine, or the one that fits this computer when there is none. `bus` is probed only when
// the setting leaves the choice open. False with the reason in *why as ParseMachineValue.
bool ChooseMachine(const MachineSetting &setting, const HalBus &bus, MachineChoice *out, std::string *why);

const char *MachineKindName(MachineKind kind);

// Says one line about a machine that is served all the same: a file without a function of the served
// domain, the demo machine in another domain.
using Warn = std::function<void(const std::string &line)>;

struct OpenedMachine {
  std::unique_ptr<Machine> machine;
  FaultTable faults;
  uint32_t domain = 0;
};

// What a machine is built from: the HAL (with ECAM where MCFG maps a bus) and the files it reads.
struct MachineSources {
  const HalBus &bus;
  const EcamSpace &ecam;
  TextFiles &files;
};

// Builds the chosen machine. False with one line in *why (naming the file and the line or place) when it
// cannot be built.
bool OpenMachine(const MachineChoice &choice, const MachineSources &sources, OpenedMachine *out, std::string *why,
                 const Warn &warn);
inline bool OpenMachine(const MachineChoice &choice, const HalBus &bus, const EcamSpace &ecam, TextFiles &files,
                        OpenedMachine *out, std::string *why, const Warn &warn) {
  return OpenMachine(choice, MachineSources{bus, ecam, files}, out, why, warn);
}

}  // namespace kvsys
