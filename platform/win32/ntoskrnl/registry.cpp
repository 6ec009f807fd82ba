// The registry, as far as a driver reads it: its service's key, with the values Machine, from
// KELVORANT_MACHINE (kvplat/kernel.h), and Trace, the file KELVORANT_TRACE to which the driver appends a line
// for each request (checked at the start of the run as every output, crt/run_files.h).
#include <strings.h>

#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel_state.h"
#include "kvplat/diag.h"
#include "kvplat/kernel32.h"

namespace kvplat {

namespace {

constexpr char kServicesKey[] = "\\registry\\machine\\system\\currentcontrolset\\services\\";

std::string &Applied() {
  static auto *value = new std::string;  // read by drivers until the last is gone
  return *value;
}

// A PCI domain as "@DDDD" writes it: 4 or 5 hex digits (domains above 0xffff exist, such as a VMD's).
bool ParseDomain(std::string_view digits, uint32_t *domain) {
  const char *end = digits.data() + digits.size();
  const auto [at, error] = std::from_chars(digits.data(), end, *domain, 16);
  return digits.size() >= 4 && digits.size() <= 5 && error == std::errc() && at == end;
}

// The text of the value `name` ("" when the key has no such value).
std::string ValueText(const std::string &name) {
  if (name == "machine") return MachineValue();
  if (name != "trace") return "";
  const char *trace = std::getenv("KELVORANT_TRACE");
  if (!trace || !*trace) return "";
  // The driver builds the file's NT name the Windows way; a backslash in a folder's name stays part of it.
  RememberLinuxPath(trace);
  return trace;
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
           "file before the @ (sysfs" + whole + " for this computer)";
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
    const std::string name(base);
    const bool fileNamedLikeAWord =
        base != "demo" && (::strcasecmp(name.c_str(), "demo") == 0 || ::strcasecmp(name.c_str(), "hal") == 0);
    machine.value = (fileNamedLikeAWord ? "./" : "") + whole;
    if (base != "demo") machine.file = (fileNamedLikeAWord ? "./" : "") + name;
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
  Applied() = sysfs ? "hal" : machine.value;
  // The file handed to the driver, whose names it builds the Windows way from the file's.
  if (!machine.file.empty()) {
    RememberLinuxPath(machine.file);
    const size_t slash = machine.file.find_last_of('/');
    if (slash != std::string::npos) RememberLinuxPath(machine.file.substr(0, slash + 1));
  }
}

const std::string &MachineValue() { return Applied(); }

}  // namespace kvplat

using namespace kvplat;

extern "C" NTSTATUS ZwOpenKey(PHANDLE keyHandle, ACCESS_MASK /*desiredAccess*/, POBJECT_ATTRIBUTES attributes) {
  if (!keyHandle || !attributes || !attributes->ObjectName) return STATUS_INVALID_PARAMETER;
  if (attributes->RootDirectory) {
    ReportUnimplemented("ZwOpenKey relative to another key");
    return STATUS_NOT_IMPLEMENTED;
  }
  // A service's key exists while its driver is loaded (every one holds the same values): the service
  // manager's database keeps the rest.
  const std::string name = FoldCase(Utf8Of(attributes->ObjectName));
  const size_t prefix = sizeof kServicesKey - 1;
  if (name.compare(0, prefix, kServicesKey) != 0) return STATUS_OBJECT_NAME_NOT_FOUND;
  {
    std::lock_guard lock(Kernel().mutex);
    if (!FindDriver(name.substr(prefix))) return STATUS_OBJECT_NAME_NOT_FOUND;
  }
  *keyHandle = InsertHandle(std::make_shared<HandleObject>(HandleType::KernelKey));
  return STATUS_SUCCESS;
}

extern "C" NTSTATUS ZwQueryValueKey(HANDLE keyHandle, PUNICODE_STRING valueName,
                                    KEY_VALUE_INFORMATION_CLASS informationClass, PVOID information, ULONG length,
                                    PULONG resultLength) {
  if (!LookupHandle(keyHandle, HandleType::KernelKey)) return STATUS_INVALID_HANDLE;
  if (informationClass != KeyValuePartialInformation) {
    ReportUnimplemented("ZwQueryValueKey for another class than KeyValuePartialInformation");
    return STATUS_NOT_IMPLEMENTED;
  }
  const std::string value = ValueText(FoldCase(Utf8Of(valueName)));
  if (value.empty()) return STATUS_OBJECT_NAME_NOT_FOUND;

  // REG_SZ: UTF-16 with its terminating zero.
  const std::u16string text = Utf16Of(value) + u'\0';
  const ULONG dataLength = static_cast<ULONG>(text.size() * sizeof(WCHAR));
  const ULONG header = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
  if (resultLength) *resultLength = header + dataLength;
  if (length < header || !information) return STATUS_BUFFER_TOO_SMALL;
  auto *out = static_cast<KEY_VALUE_PARTIAL_INFORMATION *>(information);
  out->TitleIndex = 0;
  out->Type = REG_SZ;
  out->DataLength = dataLength;
  // What fits of the data; STATUS_BUFFER_OVERFLOW tells the caller that there is more.
  const ULONG room = length - header;
  std::memcpy(out->Data, text.data(), room < dataLength ? room : dataLength);
  return room < dataLength ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
}
