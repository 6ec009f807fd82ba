// What KELVORANT_MACHINE names: `sysfs`, `sysfs:DIR`, `demo`, a `.json` machine file or an lspci dump, each
// optionally ending in `@DDDD` to serve that PCI domain instead of 0000.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kvsys {

enum class SourceKind {
  kDefault,  // unset or empty: sysfs when the live machine lists a function, else demo
  kSysfs,
  kDemo,
  kJson,
  kDump,
};

constexpr const char *kLiveSysfsRoot = "/sys/bus/pci/devices";

struct MachineSource {
  SourceKind kind = SourceKind::kDefault;
  std::string path;     // the folder (sysfs) or the file (json, dump)
  uint32_t domain = 0;  // the served domain
};

// Never fails: anything that is not a keyword is a file name; whether the file is good is found on opening.
MachineSource ParseMachineSource(std::string_view text);

}  // namespace kvsys
