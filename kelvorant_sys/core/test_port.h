// The simulated hardware's test port: commands that change a function behind the driver's back, the way a
// device loses its settings or drops off the bus.
//   reset BB:DD.F                  every writable bit becomes 0
//   poke BB:DD.F OFFSET XX XX ...  the hardware sets bytes from OFFSET (hex) on, whatever the masks
//   unplug BB:DD.F / plug BB:DD.F  the function stops / starts answering
//   writes BB:DD.F                 answers the registers that writes to the function wrote since this was
//                                  last asked, in order, as OFFSET/WIDTH in hex ("3c/4 10/4 4/2"), or "none"
// An address may carry the machine's domain ("0001:02:00.0").
#pragma once
#include <string>
#include <string_view>

#include "core/machine.h"

namespace kvsys {

class SimMachine;

ControlResult RunTestPortCommand(SimMachine &machine, std::string_view command, std::string *text);

}  // namespace kvsys
