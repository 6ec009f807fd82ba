// Extended configuration space through the memory-mapped configuration mechanism (ECAM): the ACPI table
// MCFG says where each PCI segment group's buses are mapped in physical memory, one 4 KB window per
// function at base + (bus << 20 | device << 15 | function << 12), the base being that of bus 0 even when an
// entry starts at a later bus. The driver serves segment group 0 only (the program's one domain, 0000).
//
// The table comes from the firmware table interface (ZwQuerySystemInformation, provider 'ACPI', table
// 'MCFG'); a window is mapped uncached for one request and unmapped before the request completes, and is
// read and written in aligned dwords only. The routines come in as function pointers, as the HAL's do.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/machine.h"

namespace kvsys {

// The ACPI table header (36 bytes) and MCFG's 8 reserved bytes come before the entries, 16 bytes each:
// base address (8), segment group (2), start bus (1), end bus (1), reserved (4).
constexpr size_t kMcfgHeaderBytes = 44;
constexpr size_t kMcfgEntryBytes = 16;
// MCFG has had one layout, revision 1, since it was defined; a table of another revision is not trusted.
constexpr uint8_t kMcfgRevision = 1;
constexpr uint64_t kEcamBusBytes = uint64_t{1} << 20;
constexpr uint32_t kEcamWindowBytes = 4096;

// The buses [start_bus, end_bus] of segment group 0 that an MCFG entry maps from `base` (bus 0's address).
struct EcamRange {
  uint64_t base = 0;
  uint32_t start_bus = 0;
  uint32_t end_bus = 0;
  bool operator==(const EcamRange &) const = default;
};

// Parses an MCFG as the firmware returned it (`size` bytes): the ranges of segment group 0 in table order,
// those of other segment groups left out. False with the reason in *why (one clause, naming the field)
// when the table is malformed: shorter than its header, a length beyond what was returned, entries that are
// not whole, an entry whose end bus is below its start bus or whose base is not aligned to 1 MB.
bool ParseMcfg(const uint8_t *table, size_t size, std::vector<EcamRange> *ranges, std::string *why);

// Physical memory as the kernel maps it: MmMapIoSpace (MmNonCached), READ_REGISTER_ULONG,
// WRITE_REGISTER_ULONG, MmUnmapIoSpace.
struct PhysicalSpace {
  volatile uint32_t *(*map)(void *context, uint64_t physical, uint32_t length);  // null when it cannot
  uint32_t (*read)(void *context, volatile uint32_t *reg);
  void (*write)(void *context, volatile uint32_t *reg, uint32_t value);
  void (*unmap)(void *context, volatile uint32_t *base, uint32_t length);
  void *context;
};

// What the HAL machine reaches through ECAM: no ranges, no ECAM.
struct EcamSpace {
  std::vector<EcamRange> ranges;
  PhysicalSpace memory{};
};

// The physical address of the function's window when a range holds its bus (the first that does), else 0.
uint64_t EcamWindowOf(const std::vector<EcamRange> &ranges, uint32_t bus, uint32_t device, uint32_t function);

// Reads [offset, offset + length) of the window into out (offset and length multiples of 4): kFailed when
// it cannot be mapped.
Access EcamRead(const PhysicalSpace &memory, uint64_t window, unsigned offset, unsigned length, uint8_t *out);

// Writes the dwords of [offset, offset + length) that differ from the function's present ones, highest
// first (the restore plan), reading them into `present` first (length bytes of room).
Access EcamWrite(const PhysicalSpace &memory, uint64_t window, unsigned offset, unsigned length,
                 const uint8_t *data, uint8_t *present);

}  // namespace kvsys
