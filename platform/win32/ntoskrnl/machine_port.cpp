#include "kvplat/machine_port.h"

#include <cstdio>

#include "kernel_state.h"

namespace kvplat {

bool SendMachineCommand(const std::string &command, std::string *why) {
  std::string reason;
  bool done = false;
  KernelState &kernel = Kernel();
  {
    std::lock_guard<std::recursive_mutex> lock(kernel.mutex);
    DeviceRef device = FindDevice("Kelvorant");
    KV_DRIVER_OBJECT *driver = device ? device->driver : nullptr;
    if (driver == nullptr) {
      reason = "no driver serves \\\\.\\Kelvorant in this process";
    } else if (driver->MachineControl == nullptr) {
      reason = "the driver of \\\\.\\Kelvorant has no simulated machine";
    } else {
      char message[512] = {};
      const NTSTATUS status = driver->MachineControl(driver, command.c_str(), message, sizeof message);
      message[sizeof message - 1] = '\0';
      done = NT_SUCCESS(status);
      if (!done) {
        char fallback[64];
        std::snprintf(fallback, sizeof fallback, "the driver refused the command (status 0x%08X)",
                      static_cast<unsigned>(status));
        reason = message[0] != '\0' ? message : fallback;
      }
    }
  }
  if (!done && why != nullptr) *why = reason;
  return done;
}

}  // namespace kvplat
