// Which process started a service. A pid alone is not enough: pids are reused, so the record also keeps the
// process's start time (field 22 of /proc/PID/stat), and a live process with the same pid but another start
// time is a different process.
#pragma once
#include <cstdint>

namespace kvplat {

struct ProcessIdentity {
  int pid = 0;
  uint64_t startTime = 0;  // clock ticks after boot
  bool operator==(const ProcessIdentity &) const = default;
};

ProcessIdentity CurrentProcessIdentity();

// The start time of process `pid`, or 0 when there is no such process or it has ended (a zombie).
uint64_t ProcessStartTime(int pid);

// True while the process that `identity` names still runs.
bool IsProcessRunning(const ProcessIdentity &identity);

}  // namespace kvplat
