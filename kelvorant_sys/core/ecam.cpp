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

template <class... Values>
std::string Said(const char *format, Values... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(values)...);
  return text;
}

// The window of one request: mapped at construction, unmapped at destruction, whatever the request did.
class MappedWindow {
 public:
  MappedWindow(const PhysicalSpace &memory, uint64_t window)
      : memory_(memory), base_(memory.map(memory.context, window, kEcamWindowBytes)) {}
  ~MappedWindow() {
    if (base_) memory_.unmap(memory_.context, base_, kEcamWindowBytes);
  }
  MappedWindow(const MappedWindow &) = delete;
  MappedWindow &operator=(const MappedWindow &) = delete;

  bool mapped() const { return base_ != nullptr; }
  uint32_t Read(unsigned offset) const { return memory_.read(memory_.context, base_ + offset / 4); }
  void Write(unsigned offset, uint32_t value) const { memory_.write(memory_.context, base_ + offset / 4, value); }

  // Reads [offset, offset + length) into out, byte i of the space at out[i - offset].
  void ReadRange(unsigned offset, unsigned length, uint8_t *out) const {
    for (unsigned at = 0; at < length; at += 4) {
      const uint32_t value = Read(offset + at);
      for (unsigned i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
  }

 private:
  const PhysicalSpace &memory_;
  volatile uint32_t *base_;
};

struct WriteRun {
  const MappedWindow *window;
  unsigned first;
  const uint8_t *data;
};

bool WriteDword(void *context, const RegisterWrite &write) {
  const WriteRun &run = *static_cast<const WriteRun *>(context);
  run.window->Write(write.offset, LoadLe(run.data + (write.offset - run.first), 4));
  return true;
}

}  // namespace

bool ParseMcfg(const uint8_t *table, size_t size, std::vector<EcamRange> *ranges, std::string *why) {
  ranges->clear();
  if (size < kMcfgHeaderBytes) {
    *why = Said("the firmware returned %llu bytes, less than its %llu-byte header", size, kMcfgHeaderBytes);
    return false;
  }
  const uint32_t length = LoadLe(table + 4, 4);
  if (LoadLe(table, 4) != LoadLe(reinterpret_cast<const uint8_t *>("MCFG"), 4)) {
    *why = "its signature is not MCFG";
    return false;
  }
  if (length < kMcfgHeaderBytes) {
    *why = Said("its length %llu is less than its %llu-byte header", length, kMcfgHeaderBytes);
    return false;
  }
  if (length > size) {
    *why = Said("its length %llu is beyond the %llu bytes the firmware returned", length, size);
    return false;
  }
  if (table[8] != kMcfgRevision) {
    *why = Said("its revision is %llu, not %llu", table[8], kMcfgRevision);
    return false;
  }
  if ((length - kMcfgHeaderBytes) % kMcfgEntryBytes != 0) {
    *why = Said("its length %llu leaves %llu bytes after the header, not a whole number of %llu-byte entries", length,
                length - kMcfgHeaderBytes, kMcfgEntryBytes);
    return false;
  }
  std::vector<EcamRange> found;
  for (size_t at = kMcfgHeaderBytes, entry = 0; at < length; at += kMcfgEntryBytes, ++entry) {
    const uint8_t *e = table + at;
    const EcamRange range{LoadLe64(e), e[10], e[11]};
    if (range.end_bus < range.start_bus) {
      *why = Said("entry %llu ends at bus %02llx, below its start bus %02llx", entry, range.end_bus, range.start_bus);
      return false;
    }
    if (range.base % kEcamBusBytes != 0 || range.base > UINT64_MAX - (uint64_t{range.end_bus} + 1) * kEcamBusBytes) {
      *why = Said("entry %llu has the base address 0x%llx, not 1 MB aligned or too high for its buses", entry, range.base);
      return false;
    }
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
  const MappedWindow mapped(memory, window);
  if (!mapped.mapped()) return Access::kFailed;
  mapped.ReadRange(offset, length, out);
  return Access::kDone;
}

Access EcamWrite(const PhysicalSpace &memory, uint64_t window, unsigned offset, unsigned length,
                 const uint8_t *data, uint8_t *present) {
  const MappedWindow mapped(memory, window);
  if (!mapped.mapped()) return Access::kFailed;
  mapped.ReadRange(offset, length, present);
  WriteRun run{&mapped, offset, data};
  VisitRestoreWrites(offset, length, present, length, data, WriteDword, &run);
  return Access::kDone;
}

}  // namespace kvsys
