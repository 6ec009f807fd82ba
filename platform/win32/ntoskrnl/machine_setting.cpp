#include "kvplat/machine_setting.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/pci_address.h"
#include "kvplat/hal.h"

namespace kvplat {

namespace {

struct AppliedSetting {
  std::string value;
  uint32_t domain = 0;
};

AppliedSetting &Applied() {
  static AppliedSetting *setting = new AppliedSetting;  // read by drivers until the last is gone
  return *setting;
}

bool SameWordIgnoringCase(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != word[i]) return false;
  }
  return true;
}

}  // namespace

MachineVariable ParseMachineVariable(const char *text) {
  MachineVariable machine;
  const std::string whole = text ? text : "";
  std::string_view base = whole;
  // "@DDDD" at the end selects the domain; an '@' followed by anything else is part of a file name.
  const size_t at = base.rfind('@');
  uint32_t domain = 0;
  if (at != std::string_view::npos && base.size() - at - 1 >= 4 && kvsys::ParseHex(base.substr(at + 1), 5, &domain)) {
    machine.domain = domain;
    base = base.substr(0, at);
  }
  if (base.empty()) {
    machine.kind = MachineVariable::Kind::kDefault;
  } else if (base == "sysfs") {
    machine.kind = MachineVariable::Kind::kSysfs;
    machine.sysfsRoot = kLiveSysfsRoot;
  } else if (base.starts_with("sysfs:")) {
    machine.kind = MachineVariable::Kind::kSysfs;
    machine.sysfsRoot = std::string(base.substr(6));
  } else {
    machine.kind = MachineVariable::Kind::kValue;
    const bool fileNamedLikeAWord = base != "demo" && (SameWordIgnoringCase(base, "demo") || SameWordIgnoringCase(base, "hal"));
    machine.value = (fileNamedLikeAWord ? "./" : "") + whole;
  }
  return machine;
}

void ApplyMachineSetting() {
  MachineVariable machine = ParseMachineVariable(std::getenv("KELVORANT_MACHINE"));
  if (machine.kind == MachineVariable::Kind::kDefault) {
    if (SysfsListsAnyFunction(kLiveSysfsRoot)) {
      machine.kind = MachineVariable::Kind::kSysfs;
      machine.sysfsRoot = kLiveSysfsRoot;
    } else {
      machine.kind = MachineVariable::Kind::kValue;
      char demo[16];
      std::snprintf(demo, sizeof demo, "demo@%04x", machine.domain);
      machine.value = demo;
    }
  }
  const bool sysfs = machine.kind == MachineVariable::Kind::kSysfs;
  ConfigureHalBuses(sysfs ? machine.sysfsRoot : "", machine.domain);
  Applied().value = sysfs ? "hal" : machine.value;
  Applied().domain = machine.domain;
}

const std::string &MachineValue() { return Applied().value; }

uint32_t ServedDomain() { return Applied().domain; }

}  // namespace kvplat
