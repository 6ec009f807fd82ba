// This computer's ECAM (core/ecam.h): the ACPI table MCFG read through the firmware table interface, and
// physical memory through MmMapIoSpace and the register routines.
#pragma once
#include <functional>
#include <string>

#include "core/ecam.h"

namespace kvsys {

// The ranges of segment group 0 that MCFG maps, with the kernel's routines to reach them; no ranges when
// the firmware has no MCFG (as under Wine), or when the table is malformed, which `say` reports in one line.
EcamSpace FindEcam(const std::function<void(const std::string &line)> &say);

}  // namespace kvsys
