// Fault rules of a machine file: make chosen requests at an address fail or complete oddly, so that the
// program's error paths can be exercised on a simulated machine.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "core/pci_address.h"
#include "core/requests.h"

namespace kvsys {

struct FaultRule {
  PciAddress address;  // present in the machine or not
  RequestKind request = RequestKind::kReadConfig;
  uint64_t skip = 0;              // matching requests that pass untouched first
  std::optional<uint64_t> times;  // then this many are hit; none: every one after the skipped
  std::optional<uint32_t> error;     // the request fails with this Win32 error code
  std::optional<uint32_t> returned;  // the request reports this byte count instead of its full size
  std::optional<uint32_t> status;    // the request completes with this status word
};

// What a hit rule does to one request.
struct FaultEffect {
  std::optional<uint32_t> error;
  std::optional<uint32_t> returned;
  std::optional<uint32_t> status;
};

class FaultTable {
 public:
  FaultTable() = default;
  explicit FaultTable(std::vector<FaultRule> rules);

  bool empty() const { return rules_.empty(); }

  // Counts the request against every rule of its kind and address, and returns the effect of the first of
  // them (in file order) that hits it; nothing when none does.
  std::optional<FaultEffect> Match(RequestKind request, uint32_t domain, uint32_t bus, uint32_t device,
                                   uint32_t function);

 private:
  struct Armed {
    FaultRule rule;
    uint64_t seen = 0;
  };
  std::vector<Armed> rules_;
};

}  // namespace kvsys
