// Which machine the Windows driver serves. The `Machine` value under the driver's service key decides when
// it is there:
//   demo   the built-in demo machine (the simulated laptop that the Linux driver also serves)
//   hal    this computer, through the HAL's bus-data routines
// Without the value (or with an empty one) the driver serves the HAL when it reaches configuration space (some
// device answers on bus 0) and the demo machine otherwise, as under Wine, which has no PCI hardware: the
// program creates the service afresh at every start, so a value could not be set in between. Any other value
// stops the driver from starting, naming the value.
#pragma once
#include <string_view>

#include "core/hal_machine.h"

namespace kvwin {

enum class MachineKind { kHal, kDemo };

struct MachineSetting {
  bool present = false;   // the value exists under the service key
  std::string_view text;  // its text (REG_SZ), compared without regard to case
};

// False when the setting names no machine. `bus` is probed only when the setting leaves the choice open.
bool ChooseMachine(const MachineSetting &setting, const HalBus &bus, MachineKind *out);

const char *MachineKindName(MachineKind kind);

}  // namespace kvwin
