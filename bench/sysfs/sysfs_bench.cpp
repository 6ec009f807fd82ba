// kelvorant on this computer, headless, as a whole process: start, bus scan through the driver's sysfs
// machine, first register view, shut-down (the script only closes the dialog, so nothing is written).
// Compared side by side with `lspci -xxx` and with the floor, a program that only reads 256 bytes of every
// function's config file, and with the same run started for a user, as sudo starts it. Needs root: an unprivileged process reads 64 bytes of each function, which
// would compare less work with more.
//   kv_sysfs_bench [ROUNDS]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "contest.h"
#include "figures.h"
#include "kelvorant_run.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *kDevices = "/sys/bus/pci/devices";
constexpr double kLspciTarget = 1.0;  // kelvorant's time over lspci's
constexpr double kFloorTarget = 1.5;  // kelvorant's time over the floor's

// Functions that sysfs lists: all of them, and those of domain 0000, which kelvorant shows.
void CountFunctions(long *all, long *domain0) {
  *all = *domain0 = 0;
  std::error_code error;
  for (const auto &entry : fs::directory_iterator(kDevices, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() != 12 || name[4] != ':') continue;
    ++*all;
    *domain0 += name.compare(0, 5, "0000:") == 0;
  }
}

}  // namespace

int main(int argc, char **argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
  std::printf("kelvorant on this machine's sysfs, start to exit, against lspci -xxx and the floor (%d rounds)\n",
              rounds);
  long all = 0, domain0 = 0;
  CountFunctions(&all, &domain0);
  if (geteuid() != 0) {
    std::printf("skipped: not run as root (an unprivileged process reads 64 of every function's 256 bytes)\n");
    return 0;
  }
  if (domain0 == 0) {
    std::printf("skipped: %s lists no function of domain 0000\n", kDevices);
    return 0;
  }
  kvbench::KelvorantFolder folder("sysfs-bench");
  if (!folder.Ready()) {
    std::fprintf(stderr, "cannot prepare a folder for kelvorant\n");
    return 1;
  }
  const long rows = folder.ListedRows("sysfs");
  const long requests = folder.Requests("sysfs");
  std::printf("sysfs lists %ld functions (%ld in domain 0000); kelvorant lists %ld rows, sends %ld requests\n",
              all, domain0, rows, requests);
  if (rows != domain0) std::printf("  the device list does not hold every function of domain 0000\n");

  // The same run on a folder that lists nothing: start-up, a scan of absent addresses only, shut-down. What
  // kelvorant takes beyond it is what reading the functions costs.
  const fs::path empty = folder.Dir() / "no-functions";
  fs::create_directory(empty);
  // The empty folder's run says that it lists no function, every round: that line is expected here.
  kvbench::ChildCommand noFunction = folder.Command("sysfs:" + empty.string());
  noFunction.err = "/dev/null";
  // The same run as sudo starts it for a user (nobody): the functions opened as root, the rest as the user,
  // whose own service database and standard error take the place of the folder's files.
  kvbench::ChildCommand forUser = folder.Command("sysfs");
  forUser.env["SUDO_UID"] = forUser.env["SUDO_GID"] = "65534";
  for (const char *name : {"KELVORANT_UI_SCRIPT", "KELVORANT_UI_DUMP", "KELVORANT_SCM_DIR"}) forUser.env[name] = "";
  forUser.err = "/dev/null";
  fs::permissions(folder.Dir(), fs::perms(0755));
  std::vector<kvbench::Contender> contenders = {
      {"kelvorant", folder.Command("sysfs"), {}},
      {"lspci -xxx", {{"lspci", "-xxx"}, "", {}, "/dev/null", "/dev/null"}, {}},
      {"floor", {{KV_CONFIG_FLOOR}, "", {}, "/dev/null", ""}, {}},
      {"kelvorant, no function", noFunction, {}},
      {"kelvorant for a user", forUser, {}},
  };
  if (!kvbench::RunInterleaved(contenders, rounds)) return 1;
  kvbench::PrintTable(contenders);
  const double kelvorant = kvbench::Summarize(contenders[0]).medianWall;
  const double toLspci = kelvorant / kvbench::Summarize(contenders[1]).medianWall;
  const double toFloor = kelvorant / kvbench::Summarize(contenders[2]).medianWall;
  std::printf("  kelvorant / lspci: %.2f   target < %.1f: %s\n", toLspci, kLspciTarget,
              kvbench::Verdict(toLspci < kLspciTarget));
  std::printf("  kelvorant / floor: %.2f   target <= %.1f: %s\n", toFloor, kFloorTarget,
              kvbench::Verdict(toFloor <= kFloorTarget));
  const double bare = kvbench::Summarize(contenders[3]).medianWall;
  std::printf("  of kelvorant's %.1f ms, %.1f ms are start, scan of %ld absent addresses and exit (no function),\n"
              "  %.1f ms reading its functions (one read more than the floor: the first register view)\n",
              kelvorant * 1e3, bare * 1e3, folder.Requests("sysfs:" + empty.string()), (kelvorant - bare) * 1e3);
  std::printf("  kelvorant for a user (sudo, SUDO_UID of nobody) / kelvorant as root: %.2f\n",
              kvbench::Summarize(contenders[4]).medianWall / kelvorant);
  std::printf("  %s\n", kvbench::MachineLoad().c_str());
  return 0;
}
