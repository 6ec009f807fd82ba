// How each kind of machine of the table in machine_choice.cpp is opened: the HAL machine, the demo machine,
// or a simulated machine read from an lspci dump or a machine file with its fault rules.
#pragma once
#include <string>

#include "core/machine_choice.h"

namespace kvsys {

using OpenMachineKind = bool (*)(const MachineChoice &choice, const MachineSources &sources, OpenedMachine *out,
                                 std::string *why, const Warn &warn);

bool OpenHalKind(const MachineChoice &choice, const MachineSources &sources, OpenedMachine *out, std::string *why,
                 const Warn &warn);
bool OpenDemoKind(const MachineChoice &choice, const MachineSources &sources, OpenedMachine *out, std::string *why,
                  const Warn &warn);
bool OpenDumpKind(const MachineChoice &choice, const MachineSources &sources, OpenedMachine *out, std::string *why,
                  const Warn &warn);
bool OpenJsonKind(const MachineChoice &choice, const MachineSources &sources, OpenedMachine *out, std::string *why,
                  const Warn &warn);

}  // namespace kvsys
