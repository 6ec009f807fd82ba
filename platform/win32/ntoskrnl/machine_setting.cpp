#include "kvplat/machine_setting.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "kvplat/errno_map.h"
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

// A PCI domain as "@DDDD" writes it: 4 or 5 hex digits (domains above 0xffff exist, such as a VMD's).
bool ParseDomain(std::string_view digits, uint32_t *domain) {
  if (digits.size() < 4 || digits.size() > 5) return false;
  uint32_t value = 0;
  for (const char c : digits) {
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  *domain = value;
  return true;
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

bool ParseMachineVariable(const char *text, MachineVariable *out, std::string *why) {
  MachineVariable machine;
  if (!text) {
    *out = machine;
    return true;
  }
  const std::string whole = text;
  std::string_view base = whole;
  if (base.empty()) {
    *why = "KELVORANT_MACHINE is set but empty: unset it to serve this computer (or the demo machine where it "
           "has no PCI function), or name sysfs, sysfs:DIR, demo or a file";
    return false;
  }
  // "@DDDD" at the end selects the domain; an '@' followed by anything else is part of a file name.
  const size_t at = base.rfind('@');
  uint32_t domain = 0;
  if (at != std::string_view::npos && ParseDomain(base.substr(at + 1), &domain)) {
    machine.domain = domain;
    base = base.substr(0, at);
  }
  if (base.empty()) {
    *why = "KELVORANT_MACHINE is \"" + whole + "\", a domain without a machine: name sysfs, sysfs:DIR, demo or a "
           "file before the @ (" + "sysfs" + whole + " for this computer)";
    return false;
  }
  if (base == "sysfs") {
    machine.kind = MachineVariable::Kind::kSysfs;
    machine.sysfsRoot = kLiveSysfsRoot;
  } else if (base.starts_with("sysfs:")) {
    machine.kind = MachineVariable::Kind::kSysfs;
    machine.sysfsRoot = std::string(base.substr(6));
    if (machine.sysfsRoot.empty()) {
      *why = "KELVORANT_MACHINE is \"" + whole + "\", which names no folder after sysfs: (sysfs:DIR serves a "
             "folder laid out like /sys/bus/pci/devices; sysfs alone serves this computer)";
      return false;
    }
  } else {
    machine.kind = MachineVariable::Kind::kValue;
    const bool fileNamedLikeAWord = base != "demo" && (SameWordIgnoringCase(base, "demo") || SameWordIgnoringCase(base, "hal"));
    machine.value = (fileNamedLikeAWord ? "./" : "") + whole;
    if (base != "demo") machine.file = (fileNamedLikeAWord ? "./" : "") + std::string(base);
  }
  *out = machine;
  return true;
}

void ChooseDefaultMachine(MachineVariable *machine) {
  if (machine->kind != MachineVariable::Kind::kDefault) return;
  if (SysfsListsAnyFunction(kLiveSysfsRoot)) {
    machine->kind = MachineVariable::Kind::kSysfs;
    machine->sysfsRoot = kLiveSysfsRoot;
  } else {
    machine->kind = MachineVariable::Kind::kValue;
    char demo[16];
    std::snprintf(demo, sizeof demo, "demo@%04x", machine->domain);
    machine->value = demo;
  }
}

void ApplyMachineSetting() {
  MachineVariable machine;
  std::string why;
  const char *text = std::getenv("KELVORANT_MACHINE");
  if (!ParseMachineVariable(text, &machine, &why)) {
    // Start-up refuses such a value; a driver loaded without it gets the text, and says it names nothing.
    machine.kind = MachineVariable::Kind::kValue;
    machine.value = text;
  }
  ChooseDefaultMachine(&machine);
  const bool sysfs = machine.kind == MachineVariable::Kind::kSysfs;
  ConfigureHalBuses(sysfs ? machine.sysfsRoot : "", machine.domain);
  Applied().value = sysfs ? "hal" : machine.value;
  Applied().domain = machine.domain;
  // The file handed to the driver, whose names it builds the Windows way from the file's.
  if (!machine.file.empty()) {
    RememberLinuxPath(machine.file);
    const size_t slash = machine.file.find_last_of('/');
    if (slash != std::string::npos) RememberLinuxPath(machine.file.substr(0, slash + 1));
  }
}

const std::string &MachineValue() { return Applied().value; }

}  // namespace kvplat
