// The test kernel's firmware tables (ZwQuerySystemInformation with SystemFirmwareTableInformation) and device
// memory (MmMapIoSpace, MmUnmapIoSpace, READ_REGISTER_ULONG, WRITE_REGISTER_ULONG), both empty unless a test
// installs them (test_firmware.h). A mapping is address space that faults on any access but through the
// register routines, which pass each aligned dword to the range's DeviceMemory.
#include "test_firmware.h"

#include <sys/mman.h>

#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include <ddk/ntddk.h>

#include "kvplat/diag.h"

namespace kvtest {

namespace {

using kvplat::Diag;
using kvplat::ReportUnimplemented;

struct Range {
  uint64_t base, size;
  std::shared_ptr<DeviceMemory> memory;
};

struct Mapping {
  // cppcheck-suppress unusedStructMember ; cppcheck 2.10 misses the reads through the map's iterators
  uint64_t physical;
  // cppcheck-suppress unusedStructMember ; as above
  size_t size;
  std::shared_ptr<DeviceMemory> memory;
};

struct Firmware {
  std::mutex mutex;
  std::map<std::pair<uint32_t, uint32_t>, std::vector<uint8_t>> tables;
  std::vector<Range> ranges;
  std::map<uintptr_t, Mapping> mappings;  // by address
  MappingCounts counts;
};

Firmware &State() {
  static Firmware *firmware = new Firmware;
  return *firmware;
}

constexpr size_t kPage = 4096;

// The mapping that holds the dword at `address`, and its physical address; null when none does. Caller
// holds the lock.
const Mapping *MappingOf(Firmware &f, const volatile ULONG *reg, uint64_t *physical) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(reg);
  auto it = f.mappings.upper_bound(address);
  if (it == f.mappings.begin()) return nullptr;
  --it;
  if (address + sizeof(ULONG) > it->first + it->second.size) return nullptr;
  *physical = it->second.physical + (address - it->first);
  return &it->second;
}

std::shared_ptr<DeviceMemory> Register(const volatile ULONG *reg, uint64_t *physical, const char *routine) {
  Firmware &f = State();
  std::lock_guard<std::mutex> lock(f.mutex);
  const Mapping *mapping = MappingOf(f, reg, physical);
  if (mapping == nullptr || *physical % sizeof(ULONG) != 0) {
    Diag("%s: %p is no aligned dword of a mapping of device memory", routine, const_cast<ULONG *>(reg));
    ReportUnimplemented("a register access outside device memory");
    return nullptr;
  }
  return mapping->memory;
}

}  // namespace

void SetFirmwareTable(uint32_t provider, uint32_t id, std::vector<uint8_t> table) {
  Firmware &f = State();
  std::lock_guard<std::mutex> lock(f.mutex);
  if (table.empty())
    f.tables.erase({provider, id});
  else
    f.tables[{provider, id}] = std::move(table);
}

void AddDeviceMemory(uint64_t base, uint64_t size, std::shared_ptr<DeviceMemory> memory) {
  Firmware &f = State();
  std::lock_guard<std::mutex> lock(f.mutex);
  f.ranges.push_back({base, size, std::move(memory)});
}

MappingCounts DeviceMemoryMappings() {
  Firmware &f = State();
  std::lock_guard<std::mutex> lock(f.mutex);
  return f.counts;
}

void ResetFirmware() {
  Firmware &f = State();
  std::lock_guard<std::mutex> lock(f.mutex);
  if (!f.mappings.empty()) Diag("%zu mappings of device memory were never unmapped", f.mappings.size());
  for (const auto &[address, mapping] : f.mappings) munmap(reinterpret_cast<void *>(address), mapping.size);
  f.mappings.clear();
  f.tables.clear();
  f.ranges.clear();
  f.counts = {};
}

}  // namespace kvtest

using namespace kvtest;

extern "C" NTSTATUS ZwQuerySystemInformation(SYSTEM_INFORMATION_CLASS systemInformationClass, PVOID systemInformation,
                                             ULONG systemInformationLength, PULONG returnLength) {
  if (systemInformationClass != SystemFirmwareTableInformation) {
    ReportUnimplemented("ZwQuerySystemInformation for a class other than SystemFirmwareTableInformation");
    return STATUS_NOT_IMPLEMENTED;
  }
  constexpr ULONG kHeader = offsetof(SYSTEM_FIRMWARE_TABLE_INFORMATION, TableBuffer);
  auto *query = static_cast<SYSTEM_FIRMWARE_TABLE_INFORMATION *>(systemInformation);
  const ULONG length = systemInformationLength;
  if (query == nullptr || length < kHeader) return STATUS_INFO_LENGTH_MISMATCH;
  if (query->Action != SystemFirmwareTable_Get) {
    ReportUnimplemented("SystemFirmwareTableInformation with an action other than SystemFirmwareTable_Get");
    return STATUS_NOT_IMPLEMENTED;
  }
  Firmware &f = State();
  std::lock_guard<std::mutex> lock(f.mutex);
  auto table = f.tables.find({query->ProviderSignature, query->TableID});
  if (table == f.tables.end()) return STATUS_NOT_FOUND;
  const ULONG size = static_cast<ULONG>(table->second.size());
  query->TableBufferLength = size;
  if (returnLength) *returnLength = kHeader + size;
  if (size > length - kHeader) return STATUS_BUFFER_TOO_SMALL;
  std::memcpy(query->TableBuffer, table->second.data(), size);
  return STATUS_SUCCESS;
}

extern "C" PVOID MmMapIoSpace(PHYSICAL_ADDRESS physicalAddress, SIZE_T numberOfBytes, MEMORY_CACHING_TYPE cacheType) {
  if (cacheType != MmNonCached) {
    ReportUnimplemented("MmMapIoSpace with a caching type other than MmNonCached");
    return nullptr;
  }
  Firmware &f = State();
  std::lock_guard<std::mutex> lock(f.mutex);
  const uint64_t physical = static_cast<uint64_t>(physicalAddress.QuadPart);
  const Range *range = nullptr;
  for (const Range &r : f.ranges) {
    if (numberOfBytes != 0 && physical >= r.base && numberOfBytes <= r.size && physical - r.base <= r.size - numberOfBytes)
      range = &r;
  }
  if (range == nullptr) {
    ++f.counts.refused;
    return nullptr;
  }
  // Address space of its own, which faults on a plain access: device registers are read as registers.
  const size_t size = (numberOfBytes + (physical % kPage) + kPage - 1) / kPage * kPage;
  void *area = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) return nullptr;
  f.mappings[reinterpret_cast<uintptr_t>(area)] = {physical - physical % kPage, size, range->memory};
  ++f.counts.maps;
  return static_cast<char *>(area) + physical % kPage;
}

extern "C" void MmUnmapIoSpace(PVOID baseAddress, SIZE_T /*numberOfBytes*/) {
  Firmware &f = State();
  std::lock_guard<std::mutex> lock(f.mutex);
  const uintptr_t address = reinterpret_cast<uintptr_t>(baseAddress) / kPage * kPage;
  auto it = f.mappings.find(address);
  if (it == f.mappings.end()) {
    ReportUnimplemented("MmUnmapIoSpace of an address that MmMapIoSpace did not return");
    return;
  }
  munmap(reinterpret_cast<void *>(it->first), it->second.size);
  f.mappings.erase(it);
  ++f.counts.unmaps;
}

extern "C" ULONG READ_REGISTER_ULONG(volatile ULONG *reg) {
  uint64_t physical = 0;
  const std::shared_ptr<DeviceMemory> memory = Register(reg, &physical, "READ_REGISTER_ULONG");
  return memory ? memory->Read32(physical) : 0xFFFFFFFFu;
}

extern "C" void WRITE_REGISTER_ULONG(volatile ULONG *reg, ULONG value) {
  uint64_t physical = 0;
  const std::shared_ptr<DeviceMemory> memory = Register(reg, &physical, "WRITE_REGISTER_ULONG");
  if (memory) memory->Write32(physical, value);
}
