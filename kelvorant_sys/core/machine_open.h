// Builds the machine that the driver chose (machine_choice.h): the HAL machine, the demo machine, or a
// simulated machine read from an lspci dump or a machine file with its fault rules.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/faults.h"
#include "core/hal_machine.h"
#include "core/machine.h"
#include "core/machine_choice.h"
#include "core/text_files.h"

namespace kvsys {

// Says one line about a machine that is served all the same: a file without a function of the served
// domain, the demo machine in another domain.
using Warn = std::function<void(const std::string &line)>;

struct OpenedMachine {
  std::unique_ptr<Machine> machine;
  FaultTable faults;
  uint32_t domain = 0;
};

// False with one line in *why (naming the file and the line or place) when the machine cannot be built. The
// HAL machine reaches extended space through `ecam` where it maps the bus.
bool OpenMachine(const MachineChoice &choice, const HalBus &bus, const EcamSpace &ecam, TextFiles &files,
                 OpenedMachine *out, std::string *why, const Warn &warn);

}  // namespace kvsys
