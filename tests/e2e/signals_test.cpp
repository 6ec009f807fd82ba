// The signals that end a run (SIGTERM, SIGINT, SIGHUP) end kelvorant as its close box does: its own
// shut-down removes the driver's service, and the process then ends by the signal for its parent to see. A
// signal never cuts a restore in half, a reader that goes away is a reported write failure, and a run killed
// outright leaves nothing that the next start does not clear.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "harness.h"

namespace {

namespace fs = std::filesystem;
using kvtest::DumpPipe;
using kvtest::kNoService;
using kvtest::RunResult;
using kvtest::Sandbox;

// kelvorant with its JSON lines through a DumpPipe, followed up to its first line: the program is then at
// the action after its first `dump` (and held there while the lines that follow fill the pipe).
struct AtFirstDump {
  AtFirstDump(const Sandbox &box, const std::string &machine, const std::string &script,
              std::map<std::string, std::string> env = {})
      : box(box), pipe(box.Dir() / "ui.fifo") {
    env["KELVORANT_UI_DUMP"] = (box.Dir() / "ui.fifo").string();
    pid = box.Start(machine, script, env);
    EXPECT_TRUE(pipe.ReadLines(1)) << "no dump line within a minute";
  }
  // Sends `signal` (0: none), reads the lines that follow and waits for the end.
  RunResult End(int signal) {
    if (signal != 0) kill(pid, signal);
    pipe.ReadToEnd();
    return box.Wait(pid);
  }

  const Sandbox &box;
  DumpPipe pipe;
  int pid = -1;
};

// What a run that `signal` ended leaves: the one line that says so, the normal shut-down (its output, its
// service gone), and the process ended by the signal.
void ExpectClosedBy(const RunResult &result, const Sandbox &box, int signal, const char *name) {
  EXPECT_EQ(result.exitCode, 128 + signal) << result.err;
  EXPECT_EQ(result.err, std::string("kelvorant: ") + name + ": the dialog closes as by its close box\n")
      << "one line, and no script error for the actions left undone";
  EXPECT_EQ(result.out, kNoService);
  EXPECT_FALSE(box.ServiceInstalled());
}

TEST(Signals, ASignalDuringASleepClosesTheDialogAndTheProcessEndsByIt) {
  const struct {
    int signal;
    const char *name;
  } cases[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    AtFirstDump run(box, "demo", "dump\nsleep 60000\ndump\n");
    const std::vector<std::string> traced = kvtest::Lines(kvtest::ReadText(box.Dir() / "trace.txt"));
    const auto sent = std::chrono::steady_clock::now();
    const RunResult result = run.End(c.signal);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(10)) << "the sleep was not cut short";
    ExpectClosedBy(result, box, c.signal, c.name);
    EXPECT_EQ(result.trace, traced) << "a request after the signal";
    EXPECT_EQ(run.pipe.lines().size(), 1u) << "an action after the signal";
  }
}

// A restore on a sysfs machine whose function has lost four registers since it was saved (as after an FPGA
// reload): SIGTERM comes inside the second of the four register writes, or during a sleep before the Reload.
TEST(Signals, AReloadIsWrittenWholeOrNotAtAll) {
  std::string saved(256, '\0');
  auto put = [&](unsigned at, std::initializer_list<unsigned char> bytes) {
    for (unsigned char b : bytes) saved[at++] = static_cast<char>(b);
  };
  put(0x00, {0x86, 0x80, 0x34, 0x12, 0x06, 0x00, 0x10, 0x00, 0x01, 0x00, 0x00, 0x02});  // IDs, command, class
  put(0x10, {0x00, 0x00, 0x00, 0xfe, 0x00, 0x00, 0x00, 0xfd, 0x01, 0xe0, 0x00, 0x00});  // BAR0-2
  put(0x3c, {0x0b, 0x01});                                                               // interrupt line, pin
  std::string reloaded = saved;
  for (unsigned at : {0x10u, 0x14u, 0x18u}) reloaded.replace(at, 4, 4, '\0');
  reloaded[0x3c] = 0;

  const std::string pause = "dump\ndump\ndump\ndump\ndump\ndump\n";
  const char *asan = std::getenv("ASAN_OPTIONS");
  const std::map<std::string, std::string> inWrite = {
      {"LD_PRELOAD", KV_SIGNAL_IN_CONFIG_WRITE},
      {"KV_SIGTERM_AT_CONFIG_WRITE", "2"},
      // The preloaded library comes before the sanitizers' runtime.
      {"ASAN_OPTIONS", (asan && *asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0"}};
  const struct {
    const char *what;
    std::string waitBeforeReload;             // after the dump line at which the test changes the file
    std::map<std::string, std::string> env;  // empty: the test sends SIGTERM at that line
    bool written;
  } cases[] = {
      {"inside the second register write", pause, inWrite, true},
      {"during a sleep before the Reload", "sleep 60000\n", {}, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    const fs::path config = box.Write("devices/0000:01:00.0/config", saved);
    AtFirstDump run(box, "sysfs:" + (box.Dir() / "devices").string(),
                    "click-row 1000 0\nclick 1013\ndump\n" + c.waitBeforeReload + "click 1008\ndump\n", c.env);
    kvtest::WriteText(config, reloaded);
    const RunResult result = run.End(c.env.empty() ? SIGTERM : 0);
    ExpectClosedBy(result, box, SIGTERM, "SIGTERM");
    EXPECT_TRUE(kvtest::ReadText(config) == (c.written ? saved : reloaded)) << "every register of the restore, or none";
    const char *write = "IOCTL_WRITE_CONFIG 01:00.0 status=1 returned=272";
    EXPECT_EQ(std::count(result.trace.begin(), result.trace.end(), write), c.written ? 1 : 0);
    // Nothing was done after the Reload, and the program was held in the pause while the file changed.
    const std::vector<std::string> &lines = run.pipe.lines();
    EXPECT_EQ(lines.size(), c.written ? 7u : 1u);
    if (c.written) {
      size_t paused = 0;
      for (size_t i = 1; i < lines.size(); ++i) paused += lines[i].size() + 1;
      EXPECT_GT(paused, 3u * DumpPipe::kPipeSize);
    }
  }
}

// A reader of the JSON dump that goes away: the program's next line fails with EPIPE (not SIGPIPE, which
// would kill it in silence), which it reports, and it ends as after its last action.
TEST(Signals, AJsonDumpWhoseReaderHasGoneIsAReportedWriteFailure) {
  Sandbox box;
  AtFirstDump run(box, "demo", "dump\ndump\ndump\ndump\n");
  run.pipe.Close();  // the program is held in the next lines, which do not fit the pipe
  const RunResult result = box.Wait(run.pid);
  EXPECT_EQ(result.exitCode, 4) << result.err;
  EXPECT_EQ(result.err,
            "kelvorant: cannot write the JSON dump " + (box.Dir() / "ui.fifo").string() + ": Broken pipe\n");
  EXPECT_EQ(result.out, kNoService);
  EXPECT_FALSE(box.ServiceInstalled());
}

// Field 22 of /proc/PID/stat, which the service database keeps to tell a process from a later one of its pid.
std::string StartTime(pid_t pid) {
  const std::string stat = kvtest::ReadText("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22; ++i) fields >> field;
  return field;
}

// SIGKILL cannot be caught: the record stays, marked running, and the next start removes it, with every
// temporary record file of a writer that has ended (killed between its write and its rename).
TEST(Signals, WhatAKilledRunLeavesIsGoneAfterTheNextStart) {
  Sandbox box;
  AtFirstDump killed(box, "demo", "dump\nsleep 60000\n");
  EXPECT_EQ(killed.End(SIGKILL).exitCode, 128 + SIGKILL);
  ASSERT_TRUE(box.ServiceInstalled());

  const fs::path scm = box.Dir() / "scm";
  const std::string us = std::to_string(getpid()), them = std::to_string(killed.pid);
  const std::string live = "kelvorant.service.tmp" + us + "-" + StartTime(getpid());  // this test: it runs
  for (const std::string &name : {"kelvorant.service.tmp" + them + "-1",  // the killed run
                                  "kelvorant.service.tmp" + us + "-1",    // a writer whose pid is this test's now
                                  live})
    std::ofstream(scm / name) << "{";

  const RunResult second = box.Run("demo", "");
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_FALSE(box.ServiceInstalled());
  std::set<std::string> left;
  for (const auto &entry : fs::directory_iterator(scm)) left.insert(entry.path().filename());
  EXPECT_EQ(left, (std::set<std::string>{".lock", live}));
}

}  // namespace
