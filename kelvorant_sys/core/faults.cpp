#include "core/faults.h"

namespace kvsys {

FaultTable::FaultTable(std::vector<FaultRule> rules) {
  rules_.reserve(rules.size());
  for (FaultRule &rule : rules) rules_.push_back({std::move(rule), 0});
}

std::optional<FaultEffect> FaultTable::Match(RequestKind request, uint32_t domain, uint32_t bus, uint32_t device,
                                             uint32_t function) {
  std::optional<FaultEffect> effect;
  for (Armed &armed : rules_) {
    const FaultRule &r = armed.rule;
    if (r.request != request || r.address.domain != domain || r.address.bus != bus || r.address.device != device ||
        r.address.function != function)
      continue;
    const uint64_t n = armed.seen++;
    const bool hit = n >= r.skip && (!r.times || n - r.skip < *r.times);
    if (hit && !effect) effect = FaultEffect{r.error, r.returned, r.status};
  }
  return effect;
}

}  // namespace kvsys
