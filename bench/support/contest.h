// Processes compared side by side: every contender runs once per round, the order rotating from round to
// round, so that a change in the machine's load touches all of them alike.
#pragma once
#include <string>
#include <vector>

#include "child_process.h"

namespace kvbench {

struct Contender {
  std::string name;
  ChildCommand command;
  std::vector<ChildRun> runs;
};

struct Summary {
  double medianWall = 0, bestWall = 0, medianCpu = 0, peakMegabytes = 0;
};

// False, after saying which contender and how, when a run does not exit with 0.
bool RunInterleaved(std::vector<Contender> &contenders, int rounds);

Summary Summarize(const Contender &contender);

// One line per contender: median and best wall time and median CPU time in milliseconds, peak memory.
void PrintTable(const std::vector<Contender> &contenders);

}  // namespace kvbench
