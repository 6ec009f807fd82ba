// KELVORANT_MACHINE, the platform's variable that says what the driver serves, as the platform hands it to
// the driver: the value Machine under the driver's service key (which the driver reads as on Windows, see
// kelvorant_sys/core/machine_choice.h) and, for this computer's sysfs, the folder that the HAL reads.
//   sysfs, sysfs:DIR (each may end in @DDDD)   Machine = hal; the HAL serves /sys/bus/pci/devices or DIR,
//                                               domain DDDD
//   demo, a dump or machine file [@DDDD]       Machine = the text as it is
//   unset                                      sysfs when /sys/bus/pci/devices lists a function, else demo
// A value that names no machine (empty, "@DDDD" alone, "sysfs:" without a folder) is refused: it is a
// mistake, and taking it for "unset" would serve this computer's hardware.
#pragma once
#include <cstdint>
#include <string>

namespace kvplat {

inline constexpr char kLiveSysfsRoot[] = "/sys/bus/pci/devices";

struct MachineVariable {
  enum class Kind { kDefault, kSysfs, kValue };
  Kind kind = Kind::kDefault;
  std::string value;      // kValue: the Machine value
  std::string file;       // kValue: its file (the value without @DDDD), unless it is the demo machine
  std::string sysfsRoot;  // kSysfs: the folder
  uint32_t domain = 0;    // the served domain
};

// Reads KELVORANT_MACHINE's text (null: unset). False with the reason when it names no machine; anything
// else that is not sysfs is the driver's to judge. A text that the driver would read as a word of its own
// but that names a file here ("Demo", "hal") is handed over as ./TEXT.
bool ParseMachineVariable(const char *text, MachineVariable *out, std::string *why);

// The machine that an unset variable stands for: this computer's sysfs when it lists a function, else
// the demo machine, in the variable's domain.
void ChooseDefaultMachine(MachineVariable *machine);

// Reads KELVORANT_MACHINE and sets what the driver will find: the Machine value, the HAL's folder and
// domain (none but sysfs: no bus), the domain that trace lines show. The loader calls it before each
// DriverEntry.
void ApplyMachineSetting();

// What ApplyMachineSetting set.
const std::string &MachineValue();

}  // namespace kvplat
