#include "contest.h"

#include <algorithm>
#include <cstdio>

#include "figures.h"

namespace kvbench {

bool RunInterleaved(std::vector<Contender> &contenders, int rounds) {
  const size_t count = contenders.size();
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < count; ++i) {
      Contender &c = contenders[(i + static_cast<size_t>(round)) % count];
      c.runs.push_back(RunChild(c.command));
      if (c.runs.back().status != 0) {
        std::printf("%s ended with status %d\n", c.name.c_str(), c.runs.back().status);
        return false;
      }
    }
  }
  return true;
}

Summary Summarize(const Contender &contender) {
  Summary s;
  std::vector<double> wall, cpu;
  for (const ChildRun &r : contender.runs) {
    wall.push_back(r.wall);
    cpu.push_back(r.cpu);
    s.peakMegabytes = std::max(s.peakMegabytes, r.megabytes);
  }
  s.medianWall = Median(wall);
  s.bestWall = wall.empty() ? 0 : *std::min_element(wall.begin(), wall.end());
  s.medianCpu = Median(cpu);
  return s;
}

void PrintTable(const std::vector<Contender> &contenders) {
  size_t width = 10;
  for (const Contender &c : contenders) width = std::max(width, c.name.size());
  std::printf("  %-*s %11s %9s %10s %8s\n", static_cast<int>(width), "", "median ms", "best ms", "cpu ms", "peak MB");
  for (const Contender &c : contenders) {
    const Summary s = Summarize(c);
    std::printf("  %-*s %11.2f %9.2f %10.2f %8.1f\n", static_cast<int>(width), c.name.c_str(), s.medianWall * 1e3,
                s.bestWall * 1e3, s.medianCpu * 1e3, s.peakMegabytes);
  }
}

}  // namespace kvbench
