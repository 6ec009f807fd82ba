#include "core/device_control.h"

#include <cstdio>
#include <cstring>

namespace kvsys {

namespace {

uint32_t LoadU32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The completion word for how the access went. A read that nothing answers is "absent" on the standard
// request and "failed" on the extended one, whose only success word is 0.
uint32_t StatusOf(const RequestInfo &r, Access access) {
  if (r.extended) return access == Access::kDone ? kExtConfigDone : kRequestFailed;
  switch (access) {
    case Access::kAbsent:
      return kConfigAbsent;
    case Access::kFailed:
      return kRequestFailed;
    case Access::kDone:
      break;
  }
  return kConfigDone;
}

}  // namespace

RequestOutcome HandleDeviceControl(Machine &machine, FaultTable &faults, uint32_t domain, uint32_t code,
                                   void *buffer, uint32_t input_length, uint32_t output_length) {
  RequestOutcome out;
  out.code = code;
  out.request = FindRequestByCode(code);
  uint8_t *bytes = static_cast<uint8_t *>(buffer);
  if (bytes && input_length >= kRequestAddressBytes) {
    out.has_address = true;
    out.bus = LoadU32(bytes);
    out.device = LoadU32(bytes + 4);
    out.function = LoadU32(bytes + 8);
  }
  if (!out.request) {
    out.result = STATUS_INVALID_DEVICE_REQUEST;
    return out;
  }
  const RequestInfo &r = *out.request;
  if (!bytes || input_length != r.size || output_length != r.size) {
    out.result = STATUS_INVALID_PARAMETER;
    return out;
  }

  std::optional<FaultEffect> fault = faults.empty() ? std::nullopt
                                                    : faults.Match(r.kind, domain, out.bus, out.device, out.function);
  if (fault && fault->error) {
    out.result = NTSTATUS_FROM_WIN32(*fault->error);
    return out;
  }

  uint8_t *data = bytes + kRequestAddressBytes;
  const uint32_t data_length = r.data_length;
  Access access = Access::kAbsent;
  if (ValidBdf(out.bus, out.device, out.function)) {
    const FunctionIndex fn = static_cast<FunctionIndex>(out.bus << 8 | out.device << 3 | out.function);
    access = r.write ? machine.Write(fn, r.first_byte, data_length, data)
                     : machine.Read(fn, r.first_byte, data_length, data);
  } else if (!r.write) {
    std::memset(data, 0xff, data_length);  // an address that cannot exist answers like an empty slot
  }

  out.status = fault && fault->status ? *fault->status : StatusOf(r, access);
  std::memcpy(bytes + r.status_at, &out.status, sizeof out.status);
  out.information = fault && fault->returned ? *fault->returned : r.size;
  out.result = STATUS_SUCCESS;
  return out;
}

uint32_t Win32ErrorOf(NTSTATUS status) {
  const uint32_t s = static_cast<uint32_t>(status);
  if ((s & 0xffff0000u) == (0xc0000000u | FACILITY_NTWIN32 << 16)) return s & 0xffff;
  switch (status) {
    case STATUS_INVALID_PARAMETER:
      return 87;  // ERROR_INVALID_PARAMETER
    case STATUS_INVALID_DEVICE_REQUEST:
      return 1;  // ERROR_INVALID_FUNCTION
    case STATUS_INSUFFICIENT_RESOURCES:
      return 1450;  // ERROR_NO_SYSTEM_RESOURCES
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

std::string FormatTraceLine(const RequestOutcome &outcome, uint32_t domain) {
  std::string line;
  if (outcome.request) {
    line = outcome.request->name;
  } else {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08x", outcome.code);
    line = code;
  }
  line += ' ';
  line += outcome.has_address ? FormatBdf(domain, outcome.bus, outcome.device, outcome.function) : "-";
  char tail[64];
  if (NT_SUCCESS(outcome.result))
    std::snprintf(tail, sizeof tail, " status=%u returned=%lu", outcome.status,
                  static_cast<unsigned long>(outcome.information));
  else
    std::snprintf(tail, sizeof tail, " error=%u", Win32ErrorOf(outcome.result));
  return line + tail;
}

}  // namespace kvsys
