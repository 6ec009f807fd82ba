// Figures of repeated runs: medians, and what the machine was doing meanwhile.
#pragma once
#include <string>
#include <vector>

namespace kvbench {

double Median(std::vector<double> values);

// "load average 0.4 on 2 processors": a busy machine stretches wall times, so every benchmark says it.
std::string MachineLoad();

// "met" or "NOT MET".
const char *Verdict(bool met);

}  // namespace kvbench
