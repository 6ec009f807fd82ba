// The firmware's tables and device memory as a process sees them: a query finds no table, as under Wine,
// and MmMapIoSpace maps nothing, for a process reaches no physical memory. So a driver serves configuration
// space through the HAL (sysfs) alone, and the register routines, never given a mapping, fail loudly. The
// tests of ECAM link a kernel of their own in place of this file (tests/kelvorant_sys/test_firmware.h).
#include <cstddef>

#include <ddk/ntddk.h>

#include "kvplat/diag.h"

using kvplat::ReportUnimplemented;

extern "C" NTSTATUS ZwQuerySystemInformation(SYSTEM_INFORMATION_CLASS systemInformationClass, PVOID systemInformation,
                                             ULONG systemInformationLength, PULONG /*returnLength*/) {
  const auto *query = static_cast<const SYSTEM_FIRMWARE_TABLE_INFORMATION *>(systemInformation);
  if (systemInformationClass != SystemFirmwareTableInformation) {
    ReportUnimplemented("ZwQuerySystemInformation for a class other than SystemFirmwareTableInformation");
    return STATUS_NOT_IMPLEMENTED;
  }
  if (!query || systemInformationLength < offsetof(SYSTEM_FIRMWARE_TABLE_INFORMATION, TableBuffer))
    return STATUS_INFO_LENGTH_MISMATCH;
  if (query->Action != SystemFirmwareTable_Get) {
    ReportUnimplemented("SystemFirmwareTableInformation with an action other than SystemFirmwareTable_Get");
    return STATUS_NOT_IMPLEMENTED;
  }
  return STATUS_NOT_FOUND;
}

extern "C" PVOID MmMapIoSpace(PHYSICAL_ADDRESS /*physicalAddress*/, SIZE_T /*numberOfBytes*/,
                              MEMORY_CACHING_TYPE /*cacheType*/) {
  return nullptr;
}

extern "C" void MmUnmapIoSpace(PVOID /*baseAddress*/, SIZE_T /*numberOfBytes*/) {
  ReportUnimplemented("MmUnmapIoSpace of an address that MmMapIoSpace did not return");
}

extern "C" ULONG READ_REGISTER_ULONG(volatile ULONG * /*reg*/) {
  ReportUnimplemented("a register access outside device memory");
  return 0xFFFFFFFFu;
}

extern "C" void WRITE_REGISTER_ULONG(volatile ULONG * /*reg*/, ULONG /*value*/) {
  ReportUnimplemented("a register access outside device memory");
}
