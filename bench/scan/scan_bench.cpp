// How long kelvorant takes, headless, from start to exit with the device list filled by its bus scan, and how
// much memory it needs: on the demo machine, and on a machine whose 256 buses hold all 65,536 functions.
// The full machine is an `lspci -x` dump with 64-byte images, written into a temporary folder at run time.
// Each machine runs several times; the figures are the best and the median wall time, the CPU time of the
// best run, and the peak resident memory of the child (ru_maxrss).
//   kv_scan_bench [RUNS]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kTargetSeconds = 0.5;
constexpr double kTargetMegabytes = 64;
constexpr unsigned kAllFunctions = 65536;

// Every function: an Intel network controller; function 0 of each device says multi-function.
bool WriteFullMachine(const fs::path &path) {
  FILE *out = std::fopen(path.c_str(), "w");
  if (!out) return false;
  for (unsigned index = 0; index < kAllFunctions; ++index) {
    const unsigned bus = index >> 8, device = (index >> 3) & 0x1f, function = index & 7;
    unsigned char image[64] = {0x86,
                               0x80,
                               static_cast<unsigned char>(index),
                               static_cast<unsigned char>(index >> 8),
                               0x06,
                               0x00,
                               0x00,
                               0x00,
                               0x01,
                               0x00,
                               0x00,
                               0x02,
                               0x10,
                               0x00,
                               static_cast<unsigned char>(function == 0 ? 0x80 : 0x00)};
    image[0x10] = 0x04;  // a 64-bit memory BAR
    image[0x3d] = 0x01;  // INTA
    std::fprintf(out, "%02x:%02x.%x Ethernet controller: Intel Corporation Device %04x\n", bus, device, function,
                 index);
    for (unsigned line = 0; line < sizeof image; line += 16) {
      std::fprintf(out, "%02x:", line);
      for (unsigned i = 0; i < 16; ++i) std::fprintf(out, " %02x", image[line + i]);
      std::fputc('\n', out);
    }
    std::fputc('\n', out);
  }
  return std::fclose(out) == 0;
}

struct Run {
  double wall = 0, cpu = 0, megabytes = 0;
  int status = -1;
};

// Starts kelvorant headless in the folder and waits for it; the rusage is that child's alone.
Run RunOnce(const fs::path &folder, const std::string &machine, const fs::path &script) {
  Run run;
  std::fflush(stdout);  // the child must not write out the parent's buffered lines again
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    setenv("KELVORANT_UI", "headless", 1);
    setenv("KELVORANT_MACHINE", machine.c_str(), 1);
    setenv("KELVORANT_UI_SCRIPT", script.c_str(), 1);
    setenv("KELVORANT_UI_DUMP", (folder / "dump.jsonl").c_str(), 1);
    setenv("KELVORANT_SCM_DIR", (folder / "scm").c_str(), 1);
    unsetenv("KELVORANT_TRACE");
    unsetenv("DISPLAY");
    if (!freopen("/dev/null", "w", stdout)) _exit(126);
    execl(KV_BUILD_DIR "/kelvorant", "kelvorant", static_cast<char *>(nullptr));
    _exit(127);
  }
  rusage usage{};
  int status = 0;
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return run;
  run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.megabytes = usage.ru_maxrss / 1024.0;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

// The device-list rows of one untimed run that dumps the dialog, so that the timed runs are known to fill it.
long ListedRows(const fs::path &folder, const std::string &machine) {
  std::ofstream(folder / "dump.txt") << "dump\n";
  fs::remove(folder / "dump.jsonl");
  if (RunOnce(folder, machine, folder / "dump.txt").status != 0) return -1;
  std::ifstream in(folder / "dump.jsonl");
  std::stringstream text;
  text << in.rdbuf();
  const std::string dump = text.str();
  // Rows of the register list carry no item data; those of the device list carry the function's key.
  const std::string list = dump.substr(0, dump.find("\"1002\":"));
  long rows = 0;
  for (size_t at = list.find("{\"cells\":"); at != std::string::npos; at = list.find("{\"cells\":", at + 1)) ++rows;
  return rows;
}

bool Measure(const fs::path &folder, const char *name, const std::string &machine, int runs, bool targeted) {
  const long rows = ListedRows(folder, machine);
  std::vector<Run> results;
  for (int i = 0; i < runs; ++i) {
    results.push_back(RunOnce(folder, machine, folder / "empty.txt"));
    if (results.back().status != 0) {
      std::printf("%-22s kelvorant ended with %d\n", name, results.back().status);
      return false;
    }
  }
  std::sort(results.begin(), results.end(), [](const Run &a, const Run &b) { return a.wall < b.wall; });
  const Run &best = results.front(), &median = results[results.size() / 2];
  double peak = 0;
  for (const Run &r : results) peak = std::max(peak, r.megabytes);
  std::printf("%-22s %8ld %9.3f %9.3f %8.3f %9.1f", name, rows, best.wall, median.wall, best.cpu, peak);
  if (targeted) {
    const bool met = best.wall < kTargetSeconds && peak < kTargetMegabytes;
    std::printf("   < %.1f s, < %.0f MB: %s", kTargetSeconds, kTargetMegabytes, met ? "met" : "NOT MET");
    // On a busy machine the wall time holds the time spent waiting for a processor; the CPU time does not.
    double load[1] = {0};
    if (!met && best.cpu < kTargetSeconds && peak < kTargetMegabytes && getloadavg(load, 1) == 1)
      std::printf(" (CPU time within it; load average %.1f on %ld processors)", load[0], sysconf(_SC_NPROCESSORS_ONLN));
  }
  std::printf("\n");
  return rows >= 0;
}

}  // namespace

int main(int argc, char **argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::string templ = (fs::temp_directory_path() / "kv-scan-bench-XXXXXX").string();
  if (!mkdtemp(templ.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path folder = templ;
  std::error_code error;
  fs::copy_file(KV_BUILD_DIR "/KELVORANT.sys", folder / "KELVORANT.sys", error);
  std::ofstream(folder / "empty.txt") << "# nothing: the dialog closes as soon as it is shown\n";
  const fs::path full = folder / "full-machine.txt";
  const auto start = std::chrono::steady_clock::now();
  if (error || !WriteFullMachine(full)) {
    std::fprintf(stderr, "cannot prepare %s\n", folder.c_str());
    return 1;
  }
  std::printf("kelvorant, headless, start to exit with the device list filled (%d runs each)\n", runs);
  std::printf("full machine: %u functions, %.1f MB dump written in %.2f s\n", kAllFunctions,
              fs::file_size(full) / 1048576.0,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  std::printf("%-22s %8s %9s %9s %8s %9s\n", "machine", "rows", "best s", "median s", "cpu s", "peak MB");
  bool ok = Measure(folder, "demo", "demo", runs, false);
  ok = Measure(folder, "all 65,536 functions", full.string(), runs, true) && ok;
  fs::remove_all(folder, error);
  return ok ? 0 : 1;
}
