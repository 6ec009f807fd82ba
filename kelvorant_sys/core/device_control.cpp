#include "core/device_control.h"

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
  const RequestInfo *request = FindRequestByCode(code);
  if (!request) {
    out.completion = Completion::kUnknownRequest;
    out.error = 1;  // ERROR_INVALID_FUNCTION
    return out;
  }
  const RequestInfo &r = *request;
  uint8_t *bytes = static_cast<uint8_t *>(buffer);
  if (!bytes || input_length != r.size || output_length != r.size) {
    out.completion = Completion::kBadBuffer;
    out.error = 87;  // ERROR_INVALID_PARAMETER
    return out;
  }
  const uint32_t bus = LoadU32(bytes), device = LoadU32(bytes + 4), function = LoadU32(bytes + 8);

  std::optional<FaultEffect> fault = faults.empty() ? std::nullopt : faults.Match(r.kind, domain, bus, device, function);
  if (fault && fault->error) {
    out.completion = Completion::kFailed;
    out.error = *fault->error;
    return out;
  }

  uint8_t *data = bytes + kRequestAddressBytes;
  const uint32_t data_length = r.data_length;
  Access access = Access::kAbsent;
  if (ValidBdf(bus, device, function)) {
    const FunctionIndex fn = static_cast<FunctionIndex>(bus << 8 | device << 3 | function);
    access = r.write ? machine.Write(fn, r.first_byte, data_length, data) : machine.Read(fn, r.first_byte, data_length, data);
  } else if (!r.write) {
    std::memset(data, 0xff, data_length);  // an address that cannot exist answers like an empty slot
  }

  out.status = fault && fault->status ? *fault->status : StatusOf(r, access);
  std::memcpy(bytes + r.status_at, &out.status, sizeof out.status);
  out.information = fault && fault->returned ? *fault->returned : r.size;
  return out;
}

}  // namespace kvsys
