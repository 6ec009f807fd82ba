#include "core/ecam.h"

#include <cstdio>

#include "core/restore_plan.h"

namespace kvsys {

namespace {

uint32_t LoadLe(const uint8_t *p, unsigned bytes) {
  uint32_t v = 0;
  for (unsigned i = bytes; i-- > 0;) v = v << 8 | p[i];
  return v;
}

uint64_t LoadLe64(const uint8_t *p) { return uint64_t{LoadLe(p + 4, 4)} << 32 | LoadLe(p, 4); }

// Says why a table is refused, in *why; false.
template <class... Values>
bool Refuse(std::string *why, const char *format, Values... values) {
  if constexpr (sizeof...(values) == 0) {
    *why = format;
  } else {
    char text[160];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(values)...);
    *why = text;
  }
  return false;
}

// Reads [offset, offset + length) of a mapped window into out, byte i of the space at out[i - offset].
void ReadDwords(const PhysicalSpace &memory, volatile uint32_t *base, unsigned offset, unsigned length, uint8_t *out) {
  for (unsigned at = 0; at < length; at += 4) {
    const uint32_t value = memory.read(memory.context, base + (offset + at) / 4);
    for (unsigned i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

// Maps the window for one request, lets `use` reach it and unmaps it; kFailed when it cannot be mapped.
template <class Use>
Access WithWindow(const PhysicalSpace &memory, uint64_t window, Use use) {
  volatile uint32_t *base = memory.map(memory.context, window, kEcamWindowBytes);
  if (!base) return Access::kFailed;
  use(base);
  memory.unmap(memory.context, base, kEcamWindowBytes);
  return Access::kDone;
}

}  // namespace

bool ParseMcfg(const uint8_t *table, size_t size, std::vector<EcamRange> *ranges, std::string *why) {
  ranges->clear();
  if (size < kMcfgHeaderBytes)
    return Refuse(why, "the firmware returned %llu bytes, less than its %llu-byte header", size, kMcfgHeaderBytes);
  const uint32_t length = LoadLe(table + 4, 4);
  if (LoadLe(table, 4) != LoadLe(reinterpret_cast<const uint8_t *>("MCFG"), 4))
    return Refuse(why, "its signature is not MCFG");
  if (length < kMcfgHeaderBytes)
    return Refuse(why, "its length %llu is less than its %llu-byte header", length, kMcfgHeaderBytes);
  if (length > size) return Refuse(why, "its length %llu is beyond the %llu bytes the firmware returned", length, size);
  if (table[8] != kMcfgRevision) return Refuse(why, "its revision is %llu, not %llu", table[8], kMcfgRevision);
  if ((length - kMcfgHeaderBytes) % kMcfgEntryBytes != 0)
    return Refuse(why, "its length %llu leaves %llu bytes after the header, not a whole number of %llu-byte entries",
                  length, length - kMcfgHeaderBytes, kMcfgEntryBytes);
  std::vector<EcamRange> found;
  for (size_t at = kMcfgHeaderBytes, entry = 0; at < length; at += kMcfgEntryBytes, ++entry) {
    const uint8_t *e = table + at;
    const EcamRange range{LoadLe64(e), e[10], e[11]};
    if (range.end_bus < range.start_bus)
      return Refuse(why, "entry %llu ends at bus %02llx, below its start bus %02llx", entry, range.end_bus,
                    range.start_bus);
    if (range.base % kEcamBusBytes != 0 || range.base > UINT64_MAX - (uint64_t{range.end_bus} + 1) * kEcamBusBytes)
      return Refuse(why, "entry %llu has the base address 0x%llx, not 1 MB aligned or too high for its buses", entry,
                    range.base);
    if (LoadLe(e + 8, 2) == 0) found.push_back(range);
  }
  *ranges = std::move(found);
  return true;
}

uint64_t EcamWindowOf(const std::vector<EcamRange> &ranges, uint32_t bus, uint32_t device, uint32_t function) {
  for (const EcamRange &r : ranges) {
    if (bus >= r.start_bus && bus <= r.end_bus)
      return r.base + (uint64_t{bus} << 20 | uint64_t{device & 0x1f} << 15 | uint64_t{function & 7} << 12);
  }
  return 0;
}

Access EcamRead(const PhysicalSpace &memory, uint64_t window, unsigned offset, unsigned length, uint8_t *out) {
  return WithWindow(memory, window, [&](volatile uint32_t *base) { ReadDwords(memory, base, offset, length, out); });
}

Access EcamWrite(const PhysicalSpace &memory, uint64_t window, unsigned offset, unsigned length,
                 const uint8_t *data, uint8_t *present) {
  return WithWindow(memory, window, [&](volatile uint32_t *base) {
    ReadDwords(memory, base, offset, length, present);
    // Extended space has no 16-bit parts (RestoreRules narrows standard registers only): each write is a dword.
    VisitRestoreWrites(offset, length, present, length, data, [&](const RegisterWrite &write) {
      memory.write(memory.context, base + write.offset / 4, LoadLe(write.value, 4));
      return true;
    });
  });
}

}  // namespace kvsys
