// One child process, started and waited for, with the figures of that child alone: wall time from fork to
// the end of wait4, CPU time (user + system) and peak resident memory (ru_maxrss).
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kvbench {

struct ChildCommand {
  std::vector<std::string> argv;  // argv[0] is looked up in PATH when it has no slash
  std::string folder;             // the working folder; empty: the benchmark's own
  // Variables to set; an empty value removes the variable.
  std::map<std::string, std::string> env;
  std::string out = "/dev/null";  // where standard output goes
  std::string err;                // where standard error goes; empty: the benchmark's own
};

struct ChildRun {
  double wall = 0, cpu = 0, megabytes = 0;
  int status = -1;  // the exit status, 128 + the signal, or -1 when the child could not be started
};

ChildRun RunChild(const ChildCommand &command);

}  // namespace kvbench
