// The kernel interface that the driver core is written against, on Windows: the DDK's own types and status
// codes (the Linux build of KELVORANT.sys has a small model of them under this name).
#pragma once
#include "wdk.h"

#ifndef FACILITY_NTWIN32
#define FACILITY_NTWIN32 0x7
#endif
// A Win32 error carried in an NTSTATUS, which RtlNtStatusToDosError turns back into that error.
#ifndef NTSTATUS_FROM_WIN32
#define NTSTATUS_FROM_WIN32(e) ((NTSTATUS)(((ULONG)(e)&0x0000FFFFu) | (FACILITY_NTWIN32 << 16) | 0xC0000000u))
#endif
