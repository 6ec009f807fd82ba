#include <cstddef>
#include <memory>
#include <vector>

#include "kernel_files.h"

namespace kvsys {

namespace {

// 'ACPI' as the provider's multi-character constant, and MCFG's signature bytes in memory order.
constexpr ULONG kAcpiProvider = 0x41435049;
constexpr ULONG kMcfgTable = 0x4746434d;
// An MCFG of a 65,536-entry table is about 1 MB; no firmware has one near it.
constexpr ULONG kMaxTableBytes = 1u << 20;
constexpr ULONG kQueryHeader = offsetof(SYSTEM_FIRMWARE_TABLE_INFORMATION, TableBuffer);

// The table of the firmware, or false when it has none (or it cannot be read). The first call asks the
// table's size with no room for it; the second reads it.
bool ReadFirmwareTable(ULONG provider, ULONG id, std::vector<uint8_t> *table) {
  ULONG room = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::vector<uint8_t> buffer(kQueryHeader + room);
    auto *query = reinterpret_cast<SYSTEM_FIRMWARE_TABLE_INFORMATION *>(buffer.data());
    query->ProviderSignature = provider;
    query->Action = SystemFirmwareTable_Get;
    query->TableID = id;
    query->TableBufferLength = room;
    ULONG returned = 0;
    const NTSTATUS status =
        ZwQuerySystemInformation(SystemFirmwareTableInformation, query, static_cast<ULONG>(buffer.size()), &returned);
    if (NT_SUCCESS(status)) {
      const ULONG size = query->TableBufferLength < room ? query->TableBufferLength : room;
      table->assign(buffer.begin() + kQueryHeader, buffer.begin() + kQueryHeader + size);
      return true;
    }
    if (status != STATUS_BUFFER_TOO_SMALL || query->TableBufferLength <= room ||
        query->TableBufferLength > kMaxTableBytes)
      return false;
    room = query->TableBufferLength;
  }
  return false;
}

volatile uint32_t *Map(void *, uint64_t physical, uint32_t length) {
  PHYSICAL_ADDRESS address;
  address.QuadPart = static_cast<LONGLONG>(physical);
  return static_cast<volatile uint32_t *>(MmMapIoSpace(address, length, MmNonCached));
}

uint32_t Read(void *, volatile uint32_t *reg) { return READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG *>(reg)); }

void Write(void *, volatile uint32_t *reg, uint32_t value) {
  WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG *>(reg), value);
}

void Unmap(void *, volatile uint32_t *base, uint32_t length) { MmUnmapIoSpace(const_cast<uint32_t *>(base), length); }

}  // namespace

EcamSpace FindEcam(const std::function<void(const std::string &line)> &say) {
  EcamSpace ecam;
  std::vector<uint8_t> table;
  if (!ReadFirmwareTable(kAcpiProvider, kMcfgTable, &table)) return ecam;
  std::string why;
  if (!ParseMcfg(table.data(), table.size(), &ecam.ranges, &why)) {
    say("the ACPI table MCFG is refused (" + why + "): extended configuration space goes through the HAL");
    return ecam;
  }
  ecam.memory = {Map, Read, Write, Unmap, nullptr};
  return ecam;
}

}  // namespace kvsys
