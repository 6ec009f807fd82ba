#include "core/trace_line.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/pci_address.h"
#include "core/requests.h"

namespace kvsys {

InputAddress AddressOfInput(const void *buffer, uint32_t input_length) {
  InputAddress address;
  if (buffer == nullptr || input_length < kRequestAddressBytes) return address;
  uint32_t words[3];
  std::memcpy(words, buffer, sizeof words);
  address = {true, words[0], words[1], words[2]};
  return address;
}

size_t FormatTraceLine(char *line, uint32_t code, const InputAddress &address, uint32_t domain,
                       const RequestOutcome &outcome) {
  char name[16], where[kBdfBytes] = "-";
  const RequestInfo *request = FindRequestByCode(code);
  if (!request) std::snprintf(name, sizeof name, "0x%08x", static_cast<unsigned>(code));
  if (address.given) FormatBdf(where, sizeof where, domain, address.bus, address.device, address.function);
  const char *what = request ? request->name : name;
  int length;
  if (outcome.completion == Completion::kDone) {
    length = std::snprintf(line, kTraceLineBytes, "%s %s status=%u returned=%llu\n", what, where,
                           static_cast<unsigned>(outcome.status), static_cast<unsigned long long>(outcome.information));
  } else {
    length = std::snprintf(line, kTraceLineBytes, "%s %s error=%u\n", what, where,
                           static_cast<unsigned>(outcome.error));
  }
  return length < 0 ? 0 : std::min(static_cast<size_t>(length), kTraceLineBytes - 1);
}

}  // namespace kvsys
