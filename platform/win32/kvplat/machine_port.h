// The simulated hardware's test port: the private control code IOCTL_KELVORANT_TEST_PORT of the driver that
// serves \\.\Kelvorant in this process, sent in an IRP of the kernel's own (never from user mode). The headless
// front end's `machine ...` script actions use it.
#pragma once
#include <string>

namespace kvplat {

// Sends one command ("reset 02:00.0", "poke 02:00.0 40 aa bb", "unplug 02:00.0", "plug 02:00.0",
// "writes 02:00.0") to the running driver. True when it was done, with its answer in *text ("" for none);
// false with the reason in *text when no driver runs in this process, the driver has no test port, or the
// machine refuses the command (the HAL machine refuses them all).
bool SendMachineCommand(const std::string &command, std::string *text);

}  // namespace kvplat
