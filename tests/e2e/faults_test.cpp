// Faults from outside the program: a machine that the driver cannot read, a KELVORANT.sys that is no
// module, a current directory too long for MAX_PATH, a service database that cannot be written, and two
// instances at once. Each ends on the program's own path, with its own lines on standard output byte for
// byte, and the platform says why on standard error; none crashes or hangs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "harness.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunResult;
using kvtest::Sandbox;

const std::string kNoService = kvtest::kNoService;  // as a string, to add to
const std::string kDenied = "Open SC Manager failed! Error = 5 \n";
using kvtest::ExpectFailedStart;
using kvtest::kFailedBox;
using kvtest::RefusedStart;

std::string Replace(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// Runs the sandbox's program as this process's user, or as the user nobody; nothing (and a line saying
// so) when that cannot be done here.
std::optional<RunResult> RunMaybeAsNobody(const Sandbox &box, bool asNobody, const std::string &machine,
                                          const std::string &script,
                                          const std::map<std::string, std::string> &env = {}) {
  if (!asNobody) return box.Run(machine, script, env);
  const auto nobody = kvtest::Nobody();
  std::optional<RunResult> result;
  if (nobody) result = kvtest::RunAs(box, *nobody, machine, script, env);
  if (!result) std::printf("skipped: running as nobody needs root, the user nobody and a build it can reach\n");
  return result;
}

// --- A machine that the driver cannot read ----------------------------------------------------------------

TEST(Faults, AMachineTheDriverCannotReadStopsItsStart) {
  const struct {
    const char *what;
    const char *machine;  // in the sandbox
    std::map<std::string, std::string> files;
    const char *why;  // after "kelvorant: KELVORANT.sys: "; <DIR> is the sandbox
    bool asNobody = false;
  } cases[] = {
      {"no such file", "none.json", {}, "<DIR>/none.json: cannot open: No such file or directory"},
      {"a folder", "folder.json", {}, "<DIR>/folder.json: is a folder, not a regular file"},
      {"a file that its user may not read", "secret.json", {{"secret.json", R"({ "functions": [] })"}},
       "<DIR>/secret.json: cannot open: Permission denied", true},
      {"JSON syntax",
       "m.json",
       {{"m.json", "{\n  \"functions\": [\n    { \"address\": \"02:00.0\",, }\n  ]\n}\n"}},
       "<DIR>/m.json: line 3, column 28: syntax error while parsing object key - unexpected ','; expected string "
       "literal"},
      {"a number too large for a double",
       "m.json",
       {{"m.json", "{ \"faults\": [ { \"skip\": 1e400 } ] }\n"}},
       "<DIR>/m.json: line 1, column 29: number overflow parsing '1e400'"},
      {"an unknown key",
       "m.json",
       {{"m.json", R"({ "functions": [ { "address": "02:00.0", "config": "00", "colour": 1 } ] })"}},
       "<DIR>/m.json: functions[0].colour: unknown key"},
      {"a fault rule that does nothing",
       "m.json",
       {{"m.json", R"({ "faults": [ {}, { "address": "02:00.0", "request": "IOCTL_READ_CONFIG" } ] })"}},
       "<DIR>/m.json: faults[0]: \"address\" missing"},
      {"a dump with a malformed data line",
       "m.txt",
       {{"m.txt", "00:00.0 Host bridge\n00: 86 80 00 2a\n10: 00 0\n"}},
       "<DIR>/m.txt:3: malformed data line at \"0\" (two-digit hex bytes expected)"},
      {"a dump past offset 0xfff",
       "m.txt",
       {{"m.txt", "00:00.0 Host bridge\nff0: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10\n"}},
       "<DIR>/m.txt:2: data line reaches past offset 0xfff"},
      {"a machine file whose dump is missing",
       "m.json",
       {{"m.json", R"({ "dump": "gone.txt" })"}},
       "<DIR>/gone.txt: cannot open: No such file or directory"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    for (const auto &[name, text] : c.files) box.Write(name, text);
    if (std::string(c.machine) == "folder.json") fs::create_directory(box.Dir() / c.machine);
    if (c.asNobody) fs::permissions(box.Dir() / c.machine, fs::perms::owner_read | fs::perms::owner_write);
    const std::string machine = (box.Dir() / c.machine).string();
    const std::optional<RunResult> run = RunMaybeAsNobody(box, c.asNobody, machine, "");
    if (!run) continue;
    const RunResult &result = *run;
    EXPECT_EQ(result.out, RefusedStart(31));
    EXPECT_EQ(result.err, "kelvorant: KELVORANT.sys: " + Replace(c.why, "<DIR>", box.Dir().string()) + "\n");
    ExpectFailedStart(result, box);
  }
}

// --- A driver file that is no module ---------------------------------------------------------------------

TEST(Faults, ADriverFileThatIsNoModuleIsRefusedWith193) {
  const std::string module = kvtest::ReadText(kvtest::BuildDir() / "KELVORANT.sys");
  const struct {
    const char *what;
    std::string content;
    const char *why;  // the loader's reason starts so
  } cases[] = {
      {"an empty file", "", "<DIR>/KELVORANT.sys: file too short"},
      {"text", "MZ\x90 this is no driver, and long enough to hold the header of one\n" + std::string(64, '.'),
       "<DIR>/KELVORANT.sys: invalid ELF header"},
      {"the module cut off in its program headers", module.substr(0, 200), "its program headers lie outside the file"},
      // The dynamic loader would map these and die of SIGBUS on the first page past the end.
      {"the module cut off after 1000 bytes", module.substr(0, 1000), "it is truncated: "},
      {"the module cut off after 4096 bytes", module.substr(0, 4096), "it is truncated: "},
      {"the module cut off after 100000 bytes", module.substr(0, 100000), "it is truncated: "},
      {"the program itself", kvtest::ReadText(kvtest::BuildDir() / "kelvorant"),
       "<DIR>/KELVORANT.sys: cannot dynamically load position-independent executable"},
      {"a module without DriverEntry", kvtest::ReadText(kvtest::BuildDir() / "tests/kernel/noentry.sys"),
       "it has no DriverEntry"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    box.Write("KELVORANT.sys", c.content);
    const RunResult result = box.Run("demo", "");
    EXPECT_EQ(result.out, RefusedStart(193));
    const std::string prefix = "kelvorant: " + box.Dir().string() + "/KELVORANT.sys is not a driver module: " +
                               Replace(c.why, "<DIR>", box.Dir().string());
    EXPECT_EQ(result.err.rfind(prefix, 0), 0u) << result.err;
    EXPECT_EQ(kvtest::Lines(result.err).size(), 1u) << result.err;
    ExpectFailedStart(result, box);
  }
}

// --- A current directory too long for MAX_PATH ---------------------------------------------------------------

// A folder below `base` whose path is exactly `length` characters long.
fs::path MakeDirectoryOfLength(const fs::path &base, size_t length) {
  std::string path = base.string();
  while (path.size() < length) {
    const size_t remaining = length - path.size();
    size_t name = std::min<size_t>(remaining - 1, 200);
    if (remaining - 1 - name == 1) --name;  // leave room for at least "/x"
    path += "/" + std::string(name, 'd');
    fs::create_directory(path);
  }
  return path;
}

// Sandboxes made while it lives lie in a folder deep enough that their own paths are `length` characters
// long (the sandbox takes its folder from TMPDIR).
class DeepTempDir {
 public:
  explicit DeepTempDir(size_t length) {
    std::string pattern = (fs::temp_directory_path() / "kvdeep-XXXXXX").string();
    base_ = ::mkdtemp(pattern.data());
    const size_t sandboxName = std::string("/kelvorant-e2e-XXXXXX").size();
    const fs::path deep = MakeDirectoryOfLength(base_, length - sandboxName);
    const char *old = std::getenv("TMPDIR");
    if (old) old_ = old;
    ::setenv("TMPDIR", deep.c_str(), 1);
  }
  ~DeepTempDir() {
    if (old_) {
      ::setenv("TMPDIR", old_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }

 private:
  fs::path base_;
  std::optional<std::string> old_;
};

TEST(Faults, ACurrentDirectoryTooLongForMaxPathFailsCleanly) {
  enum Outcome { kWorks, kNoRoomForTheFileName, kDirectoryTooLong };
  const std::pair<size_t, Outcome> cases[] = {
      {245, kWorks},  // 245 + "\KELVORANT.sys" + the terminating zero = 260
      {246, kNoRoomForTheFileName},
      {259, kNoRoomForTheFileName},
      {260, kDirectoryTooLong},  // 260 + the zero does not fit
      {300, kDirectoryTooLong},
      {1000, kDirectoryTooLong},
  };
  ASSERT_LT(fs::temp_directory_path().string().size(), 200u);
  for (const auto &[length, outcome] : cases) {
    SCOPED_TRACE(length);
    DeepTempDir deep(length);
    Sandbox box;
    ASSERT_EQ(box.Dir().string().size(), length);
    const RunResult result = box.Run("demo", outcome == kWorks ? "dump\n" : "");
    EXPECT_EQ(result.err, "") << "the program's own lines say what went wrong";
    if (outcome == kWorks) {
      EXPECT_EQ(result.exitCode, 0);
      EXPECT_EQ(result.out, kNoService);
      EXPECT_EQ(result.Dumps().size(), 1u);
      EXPECT_FALSE(box.ServiceInstalled());
      continue;
    }
    const std::string why = outcome == kNoRoomForTheFileName
                                ? "Driver: KELVORANT.SYS is not in the " + box.Dir().string() + " directory. \n"
                                : "GetCurrentDirectory failed!  Error = 206 \n";
    EXPECT_EQ(result.out, kNoService + why + kNoService);
    ExpectFailedStart(result, box);
  }
}

// --- A service database that cannot be written -------------------------------------------------------------

TEST(Faults, AServiceDatabaseThatCannotBeWrittenDeniesEveryServiceCall) {
  const std::string expectedOut = kDenied + kDenied + "Unable to install driver.\n" + kDenied + kDenied;
  const struct {
    const char *what;
    const char *database;  // in the sandbox
    const char *why;
    bool asNobody = false;
  } cases[] = {
      {"a database folder below a file", "file/scm", "it cannot be opened: Not a directory"},
      {"a file where the database folder should be", "file", "it is a regular file, not a folder"},
      {"root's database, for another user", "scm", "it cannot be opened: Permission denied", true},
      {"a folder where not even root makes a file", "/proc", "its lock file .lock: cannot be made: No such file or directory"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    box.Write("file", "not a folder\n");
    fs::create_directory(box.Dir() / "scm");  // root's, mode 0700
    fs::permissions(box.Dir() / "scm", fs::perms::owner_all);
    const std::string database = (box.Dir() / c.database).string();  // an absolute path as it is
    const std::map<std::string, std::string> env = {{"KELVORANT_SCM_DIR", database}};
    const std::optional<RunResult> run = RunMaybeAsNobody(box, c.asNobody, "demo", "", env);
    if (!run) continue;
    const RunResult &result = *run;
    EXPECT_EQ(result.out, expectedOut);
    std::string err;
    for (int i = 0; i < 4; ++i)
      err += "kelvorant: the service database " + database + " cannot be opened for changes: " + c.why + "\n";
    EXPECT_EQ(result.err, err) << "every OpenSCManagerA says which folder and why";
    EXPECT_EQ(result.exitCode, 0);
    ASSERT_EQ(result.lines.size(), 1u);
    EXPECT_EQ(result.lines[0].dump(), kFailedBox);
    EXPECT_TRUE(result.trace.empty());
  }
}

// --- Two instances at once -----------------------------------------------------------------------------------

// Waits until the instance has sent its first request: its driver runs and its device is open.
void WaitForFirstRequest(const Sandbox &box, int pid) {
  for (int i = 0; i < 20000; ++i) {
    if (fs::exists(box.Dir() / "trace.txt") && fs::file_size(box.Dir() / "trace.txt") > 0) return;
    int status;
    ASSERT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the instance ended before its first request";
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  FAIL() << "no request within 20 s";
}

TEST(Faults, TwoInstancesAtOnceEachKeepTheirOwnDriver) {
  // Both use one service database. The first is held still (SIGSTOP) after its scan has begun, while the
  // second starts: the second's removal of a leftover service finds the first's record, marks it stopped
  // (its process still lives and keeps its driver) and deletes it, then installs its own. Whichever ends
  // first deletes the one record there is; the other then finds none. Both dialogs work throughout.
  const struct {
    const char *what;
    bool firstEndsFirst;
    std::string firstOut, secondOut;
  } cases[] = {
      {"the second ends first", false, kNoService + kNoService, ""},
      {"the first ends first", true, kNoService, kNoService},
  };
  // The sleep leaves room to hold the instance still; a click then shows that its driver still answers.
  const std::string script = "sleep 1000\nclick-row 1000 1\ndump\n";
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox first, second;
    const std::map<std::string, std::string> env = {{"KELVORANT_SCM_DIR", (first.Dir() / "scm").string()}};
    const int firstPid = first.Start("demo", script, env);
    WaitForFirstRequest(first, firstPid);
    ::kill(firstPid, SIGSTOP);
    const int secondPid = second.Start("demo", script, env);
    RunResult firstResult, secondResult;
    if (c.firstEndsFirst) {
      WaitForFirstRequest(second, secondPid);
      ::kill(secondPid, SIGSTOP);
      ::kill(firstPid, SIGCONT);
      firstResult = first.Wait(firstPid);
      ::kill(secondPid, SIGCONT);
      secondResult = second.Wait(secondPid);
    } else {
      secondResult = second.Wait(secondPid);
      ::kill(firstPid, SIGCONT);
      firstResult = first.Wait(firstPid);
    }
    for (const RunResult *r : {&firstResult, &secondResult}) {
      SCOPED_TRACE(r == &firstResult ? "first" : "second");
      EXPECT_EQ(r->exitCode, 0) << r->err;
      EXPECT_EQ(r->err, "");
      EXPECT_TRUE(r->MessageBoxes().empty());
      const auto dumps = r->Dumps();
      ASSERT_EQ(dumps.size(), 1u);
      EXPECT_EQ(dumps[0]["lists"]["1000"]["mark"], 1);
      EXPECT_FALSE(dumps[0]["lists"]["1002"]["rows"].empty()) << "the register view was read after the click";
      ASSERT_FALSE(r->trace.empty());
      EXPECT_EQ(r->trace.back().rfind("IOCTL_READ_CONFIG ", 0), 0u) << "the click's request, answered";
    }
    EXPECT_EQ(firstResult.out, c.firstOut);
    EXPECT_EQ(secondResult.out, c.secondOut);
    EXPECT_FALSE(first.ServiceInstalled());
  }
}

}  // namespace
