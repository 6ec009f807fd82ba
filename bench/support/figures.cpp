#include "figures.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kvbench {

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string MachineLoad() {
  double load[1] = {0};
  char text[80];
  if (getloadavg(load, 1) != 1) return "load average unknown";
  std::snprintf(text, sizeof text, "load average %.2f on %ld processors", load[0], sysconf(_SC_NPROCESSORS_ONLN));
  return text;
}

const char *Verdict(bool met) { return met ? "met" : "NOT MET"; }

}  // namespace kvbench
