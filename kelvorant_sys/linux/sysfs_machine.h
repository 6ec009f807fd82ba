// The live machine through Linux sysfs: DIR/DDDD:BB:DD.F/config for every function (DIR is
// /sys/bus/pci/devices, or a folder laid out like it for tests).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/machine.h"

namespace kvsys {

struct SysfsOptions {
  std::string root;
  uint32_t domain = 0;
  // Called before each register write reaches the device, in order (tests record the sequence).
  std::function<void(FunctionIndex fn, unsigned offset, unsigned width)> on_write;
  // Says one line (once for each function) when a function's config file is refused.
  std::function<void(const std::string &line)> warn;
};

// What the folder lists: whether a function of the served domain is there, and the other domains.
struct SysfsListing {
  bool any_served = false;
  std::vector<uint32_t> other_domains;  // sorted
};

// Lists the folder once: later requests for functions it did not list cost no file-system access. Null with
// the reason in *why when the folder cannot be listed. `listing`, when given, receives what it listed.
std::unique_ptr<Machine> OpenSysfsMachine(const SysfsOptions &options, std::string *why,
                                          SysfsListing *listing = nullptr);

// Whether the folder lists at least one function (of any domain).
bool SysfsListsAnyFunction(const std::string &root);

}  // namespace kvsys
