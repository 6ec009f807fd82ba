#include "process_identity.h"

#include <unistd.h>

#include <sstream>
#include <string>

#include "host/host_files.h"

namespace kvplat {

uint64_t ProcessStartTime(int pid) {
  if (pid <= 0) return 0;
  std::string line, why;
  if (!kvhost::ReadInput("/proc/" + std::to_string(pid) + "/stat", 4096, &line, &why)) return 0;
  // "PID (COMM) STATE PPID ..." where COMM may hold spaces and parentheses: fields count from the last ')'.
  const std::string::size_type close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(line.substr(close + 1));
  std::string state;
  fields >> state;  // field 3
  if (state == "Z" || state == "X" || state == "x") return 0;
  std::string skip;
  for (int field = 4; field < 22; ++field) fields >> skip;
  uint64_t startTime = 0;
  fields >> startTime;  // field 22
  return fields ? startTime : 0;
}

ProcessIdentity CurrentProcessIdentity() {
  // Kept for the pid it was read for: a child made by fork() is another process with its own start time.
  static ProcessIdentity self;
  const int pid = static_cast<int>(::getpid());
  if (self.pid != pid || self.startTime == 0) self = ProcessIdentity{pid, ProcessStartTime(pid)};
  return self;
}

bool IsProcessRunning(const ProcessIdentity &identity) {
  const uint64_t startTime = ProcessStartTime(identity.pid);
  return startTime != 0 && startTime == identity.startTime;
}

}  // namespace kvplat
