// A test kernel's firmware and physical address space: ACPI tables for
// ZwQuerySystemInformation(SystemFirmwareTableInformation), and device memory for MmMapIoSpace and the
// register routines. A test program that links this (an object library, kv_test_firmware) has these
// routines in place of the platform's own (platform/win32/ntoskrnl/firmware.cpp), which find no table and map
// nothing; the driver module it loads imports them from it. Empty until a test installs something.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

namespace kvtest {

// Installs the table `id` of `provider` (the values ZwQuerySystemInformation's caller names it by), replacing
// one of the same name; an empty table removes it.
void SetFirmwareTable(uint32_t provider, uint32_t id, std::vector<uint8_t> table);

// Device memory that answers dword accesses to [base, base + size), at physical addresses.
class DeviceMemory {
 public:
  virtual ~DeviceMemory() = default;
  virtual uint32_t Read32(uint64_t physical) = 0;
  virtual void Write32(uint64_t physical, uint32_t value) = 0;
};

void AddDeviceMemory(uint64_t base, uint64_t size, std::shared_ptr<DeviceMemory> memory);

// How MmMapIoSpace and MmUnmapIoSpace were called since the last ResetFirmware.
struct MappingCounts {
  unsigned maps = 0;    // mappings made
  unsigned unmaps = 0;  // mappings undone
  unsigned refused = 0; // calls for addresses outside every range
};
MappingCounts DeviceMemoryMappings();

// Removes every table and range, and the counts; a mapping still made is reported as a leak.
void ResetFirmware();

}  // namespace kvtest
