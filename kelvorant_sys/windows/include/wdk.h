// The kernel headers of mingw-w64's DDK, for the Windows build of KELVORANT.sys.
#pragma once

// mingw-w64's wdm.h defines these two bit-test intrinsics itself; without these markers intrin.h defines
// them as well, and C++ refuses the second definition.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
// ExAllocatePoolWithTag is a macro for the untagged call unless pool tagging is asked for.
#ifndef POOL_TAGGING
#define POOL_TAGGING 1
#endif
#include <ddk/ntddk.h>
