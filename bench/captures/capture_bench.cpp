// kelvorant headless, start to exit (read the capture, scan, first register view), against
// `lspci -F FILE -xxx` on the same file, for the demo machine and every capture of tests/data/lspci.
// Both read the text of the capture and write what they show (kelvorant its dialog state, lspci 256 bytes of
// hex per function, with names from pci.ids) to nowhere; `lspci -n`, without the names, runs beside them.
// The demo machine is the capture kelvorant_sys/data/tree-fujitsu-p8010.txt linked into the
// driver: kelvorant parses the same text from memory while lspci reads it from the file. kelvorant shows
// domain 0000 only; lspci lists every domain.
//   kv_capture_bench [ROUNDS]
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "contest.h"
#include "figures.h"
#include "kelvorant_run.h"

namespace {

namespace fs = std::filesystem;

constexpr double kTarget = 1.0;  // kelvorant's time over lspci's

struct Capture {
  std::string name, machine, file;
};

// The functions that a capture holds (a line "BB:DD.F ..." or "DDDD:BB:DD.F ..."): all, and those of 0000.
void CountFunctions(const std::string &file, long *all, long *domain0) {
  *all = *domain0 = 0;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    const size_t domain = line.size() > 12 && line[4] == ':' && line[7] == ':' ? 5 : 0;
    if (line.size() < domain + 7 || line[domain + 2] != ':' || line[domain + 5] != '.' ||
        !std::isxdigit(static_cast<unsigned char>(line[domain])))
      continue;
    ++*all;
    *domain0 += domain == 0 || line.compare(0, 5, "0000:") == 0;
  }
}

std::vector<Capture> Captures() {
  std::vector<Capture> captures = {
      {"demo (built in)", "demo", KV_SOURCE_DIR "/kelvorant_sys/data/tree-fujitsu-p8010.txt"}};
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto &entry : fs::directory_iterator(KV_SOURCE_DIR "/tests/data/lspci", error))
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path &file : files) captures.push_back({file.stem().string(), file.string(), file.string()});
  return captures;
}

}  // namespace

int main(int argc, char **argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
  kvbench::KelvorantFolder folder("capture-bench");
  if (!folder.Ready()) {
    std::fprintf(stderr, "cannot prepare a folder for kelvorant\n");
    return 1;
  }
  std::printf("kelvorant, headless, start to exit, against lspci -F FILE -xxx on the same capture (%d rounds)\n",
              rounds);
  std::printf("  (kelvorant: domain 0000, scan of every bus, first register view; its scan stops at a device's\n"
              "   first absent function, so rows can be fewer than functions. lspci: every function of the file as\n"
              "   -xxx hex, with names. The demo machine is a capture linked into the driver.)\n");
  std::printf("  %-28s %9s %5s %13s %9s %7s %11s %7s\n", "capture", "functions", "rows", "kelvorant ms", "lspci ms",
              "ratio", "lspci -n ms", "ratio");
  std::vector<double> ratios, numericRatios;
  bool ok = true;
  for (const Capture &c : Captures()) {
    const long rows = folder.ListedRows(c.machine);
    long all = 0, domain0 = 0;
    CountFunctions(c.file, &all, &domain0);
    std::string functions = std::to_string(domain0);
    if (all != domain0) functions.append("/").append(std::to_string(all));
    std::vector<kvbench::Contender> contenders = {
        {"kelvorant", folder.Command(c.machine), {}},
        {"lspci", {{"lspci", "-F", c.file, "-xxx"}, "", {}, "/dev/null", "/dev/null"}, {}},
        {"lspci -n", {{"lspci", "-n", "-F", c.file, "-xxx"}, "", {}, "/dev/null", "/dev/null"}, {}},
    };
    if (rows < 0 || !kvbench::RunInterleaved(contenders, rounds)) {
      std::printf("  %-28s kelvorant or lspci failed on it\n", c.name.c_str());
      ok = false;
      continue;
    }
    const double kelvorant = kvbench::Summarize(contenders[0]).medianWall;
    const double lspci = kvbench::Summarize(contenders[1]).medianWall;
    const double numeric = kvbench::Summarize(contenders[2]).medianWall;
    ratios.push_back(kelvorant / lspci);
    numericRatios.push_back(kelvorant / numeric);
    std::printf("  %-28s %9s %5ld %13.2f %9.2f %7.2f %11.2f %7.2f\n", c.name.c_str(), functions.c_str(), rows,
                kelvorant * 1e3, lspci * 1e3, kelvorant / lspci, numeric * 1e3, kelvorant / numeric);
  }
  const double worst = ratios.empty() ? 0 : *std::max_element(ratios.begin(), ratios.end());
  std::printf("  median ratio %.2f, worst %.2f   target < %.1f on every capture: %s\n", kvbench::Median(ratios), worst,
              kTarget, kvbench::Verdict(ok && worst < kTarget));
  std::printf("  without the names (lspci -n, no pci.ids): median ratio %.2f (for comparison; no target)\n",
              kvbench::Median(numericRatios));
  std::printf("  %s\n", kvbench::MachineLoad().c_str());
  return ok ? 0 : 1;
}
