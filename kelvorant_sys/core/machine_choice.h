// Which machine the driver serves, and building it. The string value `Machine` under the driver's service key
// decides when it is there (the platform fills it from KELVORANT_MACHINE on Linux):
//   demo        the built-in demo machine, a real laptop captured with lspci
//   hal         this computer, through the HAL's bus-data routines
//   PATH        a machine file when PATH ends in .json, else an lspci dump, read with the kernel's file routines
// demo and PATH may end in @DDDD to serve that PCI domain instead of 0000; demo and hal are words in any
// case. Without the value (or with an empty one) the driver serves the HAL when it reaches configuration
// space (some device answers on bus 0) and the demo machine otherwise, as under Wine, which has no PCI
// hardware: the program creates the service afresh at every start, so a value could not be set in between.
// A simulated machine keeps only the functions (and fault rules) of the served domain.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/device_control.h"
#include "core/hal_machine.h"
#include "core/sim_machine.h"

namespace kvsys {

enum class MachineKind { kHal, kDemo, kDump, kJson };

// How the core reads the files that a machine is built from. The core itself touches no file system: the
// driver reads them with the kernel's file routines (kernel_files.h).
class TextFiles {
 public:
  virtual ~TextFiles() = default;
  // Calls on_line with every line of the file, without its "\n", and stops early when on_line returns
  // false. False with the reason (no file name) in *why when the file cannot be read.
  // A line or a file longer than the implementation reads is an error, and so is a failed read.
  virtual bool ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                         std::string *why) = 0;
  // The whole text of a file that is read at once (a machine file).
  virtual bool ReadText(const std::string &path, std::string *text, std::string *why) = 0;
};

struct MachineChoice {
  MachineKind kind = MachineKind::kDemo;
  std::string path;     // the file of kDump and kJson
  uint32_t domain = 0;  // the served PCI domain
};

// Parses a Machine value. False with the reason in *why when it names no machine it can serve ("hal@0001":
// the HAL reaches domain 0000 only).
bool ParseMachineValue(std::string_view text, MachineChoice *out, std::string *why);

// The value's machine, or the one that fits this computer when there is none (or it is empty). `bus` is
// probed only when the value leaves the choice open. False with the reason in *why as ParseMachineValue.
bool ChooseMachine(std::string_view value, const HalBus &bus, MachineChoice *out, std::string *why);

const char *MachineKindName(MachineKind kind);

// Says one line about a machine that is served all the same: a file without a function of the served
// domain, the demo machine in another domain.
using Warn = std::function<void(const std::string &line)>;

struct OpenedMachine {
  std::unique_ptr<Machine> machine;
  FaultTable faults;
  uint32_t domain = 0;
};

// Builds the chosen machine from the HAL (with ECAM where MCFG maps a bus) or the files it reads. False with
// one line in *why when it cannot be built: "m.txt:12: ..." for a dump, "m.json: functions[3].config: ..."
// for a machine file.
bool OpenMachine(const MachineChoice &choice, const HalBus &bus, const EcamSpace &ecam, TextFiles &files,
                 OpenedMachine *out, std::string *why, const Warn &warn);

// The simulated machines of the demo and of a machine file with its fault rules.
std::unique_ptr<SimMachine> LoadDemoMachine(uint32_t domain);
std::unique_ptr<SimMachine> LoadJsonMachine(const std::string &path, uint32_t domain, TextFiles &files,
                                            FaultTable *faults, std::string *why);

// The demo machine's capture, data/tree-fujitsu-p8010.txt, as linked into the driver (demo_capture.cpp).
std::string_view DemoCapture();

}  // namespace kvsys
