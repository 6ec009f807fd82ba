// The Windows Driver Kit by its real name, <ddk/ntifs.h> (which includes <ddk/ntddk.h>; the driver needs it
// for security descriptors): mingw-w64's in the Windows build, the platform's
// (platform/win32/include/ddk/) in the Linux build. Each build puts exactly one of them on the
// driver's include path; the driver's code includes this header and nothing else of the kernel's.
#pragma once

#if defined(_WIN32)
// mingw-w64's wdm.h defines these two bit-test intrinsics itself; without these markers intrin.h defines
// them as well, and C++ refuses the second definition.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
// ExAllocatePoolWithTag is a macro for the untagged call unless pool tagging is asked for.
#ifndef POOL_TAGGING
#define POOL_TAGGING 1
#endif
#endif

#include <ddk/ntifs.h>

#if defined(_WIN32)
// The firmware table interface as documented for kernel mode, which mingw-w64's DDK declares only in part
// (the query's structure, in ntddk.h): ZwQuerySystemInformation with SystemFirmwareTableInformation (76).
// AuxKlibGetSystemFirmwareTable would serve too, but mingw-w64 has neither aux_klib.h nor its library.
extern "C" {
typedef enum _SYSTEM_INFORMATION_CLASS { SystemFirmwareTableInformation = 76 } SYSTEM_INFORMATION_CLASS;
NTSYSAPI NTSTATUS NTAPI ZwQuerySystemInformation(SYSTEM_INFORMATION_CLASS SystemInformationClass,
                                                 PVOID SystemInformation, ULONG SystemInformationLength,
                                                 PULONG ReturnLength);
}
#endif

// A Win32 error carried in an NTSTATUS, which RtlNtStatusToDosError turns back into that error.
#ifndef FACILITY_NTWIN32
#define FACILITY_NTWIN32 0x7
#endif
#ifndef NTSTATUS_FROM_WIN32
#define NTSTATUS_FROM_WIN32(e) ((NTSTATUS)(((ULONG)(e)&0x0000FFFFu) | (FACILITY_NTWIN32 << 16) | 0xC0000000u))
#endif
