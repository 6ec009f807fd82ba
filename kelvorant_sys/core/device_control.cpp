#include "core/device_control.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kvsys {

namespace {

constexpr RequestInfo kRequests[] = {
    {IOCTL_READ_CONFIG, "IOCTL_READ_CONFIG", sizeof(ConfigRequest), false, false},
    {IOCTL_WRITE_CONFIG, "IOCTL_WRITE_CONFIG", sizeof(ConfigRequest), true, false},
    {IOCTL_READ_EXT_CONFIG, "IOCTL_READ_EXT_CONFIG", sizeof(ExtConfigRequest), false, true},
    {IOCTL_WRITE_EXT_CONFIG, "IOCTL_WRITE_EXT_CONFIG", sizeof(ExtConfigRequest), true, true},
};

// The completion word for how the access went. A read that nothing answers is "absent" on the standard
// request and "failed" on the extended one, whose only success word is 0.
uint32_t StatusOf(const RequestInfo &r, Access access) {
  if (r.extended) return access == Access::kDone ? kExtConfigDone : kRequestFailed;
  return access == Access::kDone ? kConfigDone : access == Access::kAbsent ? kConfigAbsent : kRequestFailed;
}

}  // namespace

const RequestInfo *FindRequestByCode(uint32_t code) {
  for (const RequestInfo &r : kRequests)
    if (r.code == code) return &r;
  return nullptr;
}

const RequestInfo *FindRequestByName(std::string_view name) {
  for (const RequestInfo &r : kRequests)
    if (name == r.name) return &r;
  return nullptr;
}

const FaultRule *MatchFault(FaultTable &faults, uint32_t request, const PciAddress &a) {
  const FaultRule *hit = nullptr;
  for (FaultRule &r : faults) {
    if (r.request != request || r.address.domain != a.domain || r.address.bus != a.bus ||
        r.address.device != a.device || r.address.function != a.function)
      continue;
    const uint64_t n = r.seen++;
    if (!hit && n >= r.skip && (!r.times || n - r.skip < *r.times)) hit = &r;
  }
  return hit;
}

RequestOutcome HandleDeviceControl(Machine &machine, FaultTable &faults, uint32_t domain, uint32_t code,
                                   void *buffer, uint32_t input_length, uint32_t output_length) {
  RequestOutcome out;
  const RequestInfo *r = FindRequestByCode(code);
  if (!r) {
    out.completion = Completion::kUnknownRequest;
    out.error = 1;  // ERROR_INVALID_FUNCTION
    return out;
  }
  if (!buffer || input_length != r->size || output_length != r->size) {
    out.completion = Completion::kBadBuffer;
    out.error = 87;  // ERROR_INVALID_PARAMETER
    return out;
  }
  const InputAddress in = AddressOfInput(buffer, input_length);
  const FaultRule *fault = faults.empty() ? nullptr : MatchFault(faults, code, {domain, in.bus, in.device, in.function});
  if (fault && fault->error) {
    out.completion = Completion::kFailed;
    out.error = *fault->error;
    return out;
  }

  uint8_t *bytes = static_cast<uint8_t *>(buffer), *data = bytes + kRequestAddressBytes;
  const uint32_t length = r->size - kRequestAddressBytes - sizeof out.status;
  const unsigned first = r->extended ? 0x100 : 0;
  Access access = Access::kAbsent;
  if (ValidBdf(in.bus, in.device, in.function)) {
    const auto fn = static_cast<FunctionIndex>(in.bus << 8 | in.device << 3 | in.function);
    access = r->write ? machine.Write(fn, first, length, data) : machine.Read(fn, first, length, data);
  } else if (!r->write) {
    std::memset(data, 0xff, length);  // an address that cannot exist answers like an empty slot
  }
  out.status = fault && fault->status ? *fault->status : StatusOf(*r, access);
  std::memcpy(bytes + r->size - sizeof out.status, &out.status, sizeof out.status);
  out.information = fault && fault->returned ? *fault->returned : r->size;
  return out;
}

InputAddress AddressOfInput(const void *buffer, uint32_t input_length) {
  if (buffer == nullptr || input_length < kRequestAddressBytes) return {};
  uint32_t words[3];
  std::memcpy(words, buffer, sizeof words);
  return {true, words[0], words[1], words[2]};
}

size_t FormatTraceLine(char *line, uint32_t code, const InputAddress &address, uint32_t domain,
                       const RequestOutcome &outcome) {
  char name[16], where[kBdfBytes] = "-";
  const RequestInfo *request = FindRequestByCode(code);
  if (!request) std::snprintf(name, sizeof name, "0x%08x", static_cast<unsigned>(code));
  if (address.given) FormatBdf(where, sizeof where, domain, address.bus, address.device, address.function);
  const char *what = request ? request->name : name;
  const int length =
      outcome.completion == Completion::kDone
          ? std::snprintf(line, kTraceLineBytes, "%s %s status=%u returned=%llu\n", what, where,
                          static_cast<unsigned>(outcome.status), static_cast<unsigned long long>(outcome.information))
          : std::snprintf(line, kTraceLineBytes, "%s %s error=%u\n", what, where, static_cast<unsigned>(outcome.error));
  return length < 0 ? 0 : std::min(static_cast<size_t>(length), kTraceLineBytes - 1);
}

}  // namespace kvsys
