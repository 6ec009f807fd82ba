// The driver's side of a fuzz input that became a simulated machine: every function answers the program's
// four requests, through the same request handling that KELVORANT.sys runs.
#pragma once
#include <vector>

#include "core/device_control.h"
#include "core/sim_machine.h"

namespace kvfuzz {

// Reads, writes all ones, reads again, writes all zeros and resets every function of the machine (the first
// kMaxFunctions of them), and sends the four requests to every address of `more` (fault rules name
// addresses that need not exist). Checks what must hold for any machine: a read gives the image and 0xFF past
// it, and a write changes no bit outside the writable and write-one-to-clear masks.
void ServeEveryRequest(kvsys::SimMachine &machine, kvsys::FaultTable &faults,
                       const std::vector<kvsys::PciAddress> &more = {});

constexpr size_t kMaxFunctions = 64;  // enough for every path; keeps a run on a large dump fast

}  // namespace kvfuzz
