// The registry, as far as a driver reads it: the key of its service, and there the values that the platform
// fills from its variables: Machine from KELVORANT_MACHINE (kvplat/machine_setting.h), and Trace, the file to
// which the driver appends a line for each request, from KELVORANT_TRACE. The run checked the trace when it
// started, as every output (crt/run_files.h).
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "kernel_handles.h"
#include "kernel_state.h"
#include "kernel_strings.h"
#include "kvplat/diag.h"
#include "kvplat/errno_map.h"
#include "kvplat/machine_setting.h"

namespace kvplat {

namespace {

constexpr char kServicesKey[] = "\\registry\\machine\\system\\currentcontrolset\\services\\";

// The key of a loaded driver's service: every one holds the same values.
struct ServiceKey : KernelObject {};

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

}  // namespace kvplat

using namespace kvplat;

extern "C" NTSTATUS ZwOpenKey(PHANDLE keyHandle, ACCESS_MASK /*desiredAccess*/, POBJECT_ATTRIBUTES attributes) {
  if (!keyHandle || !attributes || !attributes->ObjectName) return STATUS_INVALID_PARAMETER;
  if (attributes->RootDirectory) {
    ReportUnimplemented("ZwOpenKey relative to another key");
    return STATUS_NOT_IMPLEMENTED;
  }
  // A service's key exists while its driver is loaded: the service manager's database keeps the rest.
  const std::string name = FoldCase(Utf8Of(attributes->ObjectName));
  const size_t prefix = sizeof kServicesKey - 1;
  if (name.compare(0, prefix, kServicesKey) != 0) return STATUS_OBJECT_NAME_NOT_FOUND;
  const std::string service = name.substr(prefix);
  {
    KernelState &kernel = Kernel();
    std::lock_guard lock(kernel.mutex);
    bool loaded = false;
    for (const auto &driver : kernel.drivers) loaded = loaded || driver->serviceKey == service;
    if (!loaded) return STATUS_OBJECT_NAME_NOT_FOUND;
  }
  *keyHandle = InsertKernelHandle(std::make_unique<ServiceKey>());
  return STATUS_SUCCESS;
}

extern "C" NTSTATUS ZwQueryValueKey(HANDLE keyHandle, PUNICODE_STRING valueName,
                                    KEY_VALUE_INFORMATION_CLASS informationClass, PVOID information, ULONG length,
                                    PULONG resultLength) {
  if (!LookupKernelHandleAs<ServiceKey>(keyHandle)) return STATUS_INVALID_HANDLE;
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
