// Who may open \Device\Kelvorant: SYSTEM and the Administrators group, each with every right, nobody else
// (the SDDL "D:P(A;;GA;;;SY)(A;;GA;;;BA)", the DDK's SDDL_DEVOBJ_SYS_ALL_ADM_ALL). A user who may open the
// device may write any function's configuration space, so the default security of a named device (any
// local user) is not enough.
//
// IoCreateDeviceSecure would apply that string as it creates the device, but it lives in the WDK's static
// library wdmsec.lib, which mingw-w64 does not have (its wdmsec.h declares the routine, with nothing to link
// it from). The driver builds the same descriptor with the Rtl routines and sets it on the device it created,
// before the device's link exists and before it stops initialising, so no one can open it in between:
// ObOpenObjectByPointer (a kernel handle with WRITE_DAC), ZwSetSecurityObject (the DACL), ZwClose.
// ObSetSecurityObjectByPointer would do it in one call, but Wine has it only as a stub, and the driver must
// load under Wine. No device class GUID is involved: IoCreateDeviceSecure uses one only to look up an
// administrator's override of the descriptor under the class's registry key.
#pragma once
#include "wdk.h"

namespace kvsys {

// The DACL of the device: protected from inheritance, one GENERIC_ALL allow ACE for SYSTEM (S-1-5-18), one
// for BUILTIN\Administrators (S-1-5-32-544). The status of the routine that failed, if one did.
NTSTATUS RestrictToAdministrators(PDEVICE_OBJECT device);

}  // namespace kvsys
