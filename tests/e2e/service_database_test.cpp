// The service database as an attacker and a crowd would meet it: a database that another user could have
// written is refused before a record of it is read, root's own lies where only root writes, a database that
// another process holds is waited for only so long and never in silence, and instances started at the same
// moment each run or fail on the program's own path, leaving the database as they found it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <memory>
#include <thread>

#include "harness.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunResult;
using kvtest::Sandbox;

const std::string kNoService = kvtest::kNoService;
const std::string kDenied = "Open SC Manager failed! Error = 5 \n";

// A record of the program's service whose binary is the planted module, as another user would write it.
void PlantRecord(const fs::path &database, std::pair<uid_t, gid_t> owner) {
  const std::string record = std::string(R"({"id":"planted","name":"KELVORANT","displayName":"KELVORANT",)") +
                             R"("serviceType":1,"startType":3,"errorControl":1,"binaryPath":")" + KV_PLANTED_MODULE +
                             R"(","state":"stopped","starterPid":0,"starterStartTime":0,"exitCode":1077,)" +
                             R"("markedForDelete":false})";
  std::ofstream(database / "kelvorant.service") << record;
  ASSERT_EQ(::chown((database / "kelvorant.service").c_str(), owner.first, owner.second), 0);
}

// A folder with its owner and mode.
void MakeFolder(const fs::path &path, uid_t owner, mode_t mode) {
  fs::create_directories(path);
  ASSERT_EQ(::chown(path.c_str(), owner, static_cast<gid_t>(-1)), 0);
  ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

TEST(ServiceDatabase, ADatabaseThatAnotherUserCouldWriteIsRefusedAndNothingOfItLoaded) {
  const auto nobody = kvtest::Nobody();
  if (!nobody) GTEST_SKIP() << "needs root and the user nobody";
  const std::string them = "user " + std::to_string(nobody->first) + " (nobody)";
  const struct {
    const char *what;
    const char *database;                          // below the sandbox
    std::vector<std::pair<const char *, std::pair<bool, mode_t>>> folders;  // (theirs?, mode), outermost first
    const char *why;  // <DIR> is the sandbox, <THEM> the user nobody
  } cases[] = {
      {"another user's database, open to all", "planted", {{"planted", {true, 0777}}},
       "it belongs to <THEM>, not to this process's user or root"},
      {"root's database that every user may write", "open", {{"open", {false, 0777}}},
       "it may be written by other users (mode 0777)"},
      {"root's database that its group may write", "group", {{"group", {false, 0770}}},
       "it may be written by other users (mode 0770)"},
      {"a sticky database folder", "sticky", {{"sticky", {false, 01777}}},
       "it may be written by other users (mode 1777)"},
      {"root's database in another user's folder", "theirs/scm",
       {{"theirs", {true, 0755}}, {"theirs/scm", {false, 0700}}},
       "it lies under <DIR>/theirs, which belongs to <THEM>, not to this process's user or root"},
      {"root's database in a folder that every user may write", "shared/scm",
       {{"shared", {false, 0777}}, {"shared/scm", {false, 0700}}},
       "it lies under <DIR>/shared, which may be written by other users (mode 0777)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    for (const auto &[folder, how] : c.folders) MakeFolder(box.Dir() / folder, how.first ? nobody->first : 0, how.second);
    const fs::path database = box.Dir() / c.database;
    PlantRecord(database, *nobody);
    const RunResult result = box.Run("demo", "", {{"KELVORANT_SCM_DIR", database.string()}});
    EXPECT_FALSE(fs::exists(box.Dir() / "planted-code-ran")) << "the planted module was loaded";
    EXPECT_EQ(result.out, kDenied + kDenied + "Unable to install driver.\n" + kDenied + kDenied);
    std::string why = c.why;
    for (const auto &[from, to] : {std::pair<std::string, std::string>{"<THEM>", them}, {"<DIR>", box.Dir().string()}})
      if (const size_t at = why.find(from); at != std::string::npos) why.replace(at, from.size(), to);
    const std::string line = "kelvorant: the service database " + database.string() + " cannot be opened for changes: " + why + "\n";
    EXPECT_EQ(result.err, line + line + line + line) << "every OpenSCManagerA says which folder and why";
    EXPECT_EQ(result.exitCode, 0);
    ASSERT_EQ(result.lines.size(), 1u);
    EXPECT_EQ(result.lines[0].dump(), kvtest::kFailedBox);
  }
}

TEST(ServiceDatabase, RootsDefaultDatabaseIsUnderRunNotTmp) {
  // sudo leaves XDG_RUNTIME_DIR unset: the database that root used to take was /tmp/kelvorant-scm-0, where
  // any user could make it first.
  const auto nobody = kvtest::Nobody();
  if (!nobody) GTEST_SKIP() << "needs root and the user nobody";
  const fs::path planted = "/tmp/kelvorant-scm-0";
  if (fs::exists(planted)) GTEST_SKIP() << planted << " exists already";
  MakeFolder(planted, nobody->first, 0777);
  PlantRecord(planted, *nobody);
  Sandbox box;
  const RunResult result = box.Run("demo", "dump\n", {{"KELVORANT_SCM_DIR", ""}, {"XDG_RUNTIME_DIR", ""}});
  fs::remove_all(planted);
  EXPECT_FALSE(fs::exists(box.Dir() / "planted-code-ran")) << "the planted module was loaded";
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, kNoService);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.Dumps().size(), 1u);
  struct stat st;
  ASSERT_EQ(::stat("/run/kelvorant-scm", &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_FALSE(fs::exists("/run/kelvorant-scm/kelvorant.service")) << "the service is deleted at the end";
}

// Waits up to 20 s until the file holds `text`.
bool WaitForText(const fs::path &file, const std::string &text) {
  for (int i = 0; i < 2000; ++i) {
    if (kvtest::ReadText(file).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(ServiceDatabase, ADatabaseThatAnotherProcessHoldsIsWaitedForAndSaid) {
  // This test plays an instance whose start hangs while it holds the database: another instance waits, says
  // after a second which process holds it, and goes on once it is free.
  Sandbox box;
  const fs::path database = box.Dir() / "scm";
  MakeFolder(database, ::geteuid(), 0700);
  const int lock = ::open((database / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  const int pid = box.Start("demo", "dump\n");
  const std::string said = "kelvorant: the service database " + database.string() + " is held by process " +
                           std::to_string(::getpid()) + " (e2e_test); waiting for it\n";
  EXPECT_TRUE(WaitForText(box.Dir() / "stderr.txt", said));
  ::close(lock);
  const RunResult result = box.Wait(pid);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, said);
  EXPECT_EQ(result.out, kNoService);
  EXPECT_EQ(result.Dumps().size(), 1u);

  // A signal ends the wait: every call of the shut-down fails at once, after one line, where each used to
  // wait its 10 s, and the process ends by the signal.
  Sandbox again;
  const fs::path held = again.Dir() / "scm";
  MakeFolder(held, ::geteuid(), 0700);
  const int holder = ::open((held / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  const int waiting = again.Start("demo", "dump\n");
  ASSERT_TRUE(WaitForText(again.Dir() / "stderr.txt", "waiting for it\n"));
  const auto sent = std::chrono::steady_clock::now();
  ::kill(waiting, SIGTERM);
  const RunResult ended = again.Wait(waiting);
  ::close(holder);
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(9)) << "a call waited on";
  EXPECT_EQ(ended.exitCode, 128 + SIGTERM);
  EXPECT_NE(ended.err.find("kelvorant: the service database " + held.string() + " is held by process " +
                           std::to_string(::getpid()) + " (e2e_test), and SIGTERM came; the calls that need it fail\n"),
            std::string::npos)
      << ended.err;
}

TEST(ServiceDatabase, InstancesStartedTogetherEachRunOrFailOnTheProgramsPathAndLeaveItClean) {
  constexpr int kInstances = 6, kRounds = 4;
  Sandbox shared;
  const fs::path database = shared.Dir() / "scm";
  const std::map<std::string, std::string> env = {{"KELVORANT_SCM_DIR", database.string()}};
  int ran = 0, failed = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::unique_ptr<Sandbox>> boxes;
    std::vector<int> pids;
    boxes.reserve(kInstances);
    pids.reserve(kInstances);
    for (int i = 0; i < kInstances; ++i) boxes.push_back(std::make_unique<Sandbox>());
    for (auto &box : boxes) pids.push_back(box->Start("demo", "click-row 1000 1\ndump\n", env));
    for (int i = 0; i < kInstances; ++i) {
      SCOPED_TRACE("round " + std::to_string(round) + ", instance " + std::to_string(i));
      const RunResult result = boxes[i]->Wait(pids[i]);
      if (result.MessageBoxes().empty()) {
        ++ran;
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        ASSERT_EQ(result.Dumps().size(), 1u) << result.out;
        EXPECT_EQ(result.Dumps()[0]["lists"]["1000"]["mark"], 1);
      } else {
        // The program's own failure path: its message box, and the script's action never done.
        ++failed;
        std::printf("failed on the program's path:\n%s", result.out.c_str());
        ASSERT_EQ(result.lines.size(), 1u) << result.out;
        EXPECT_EQ(result.lines[0].dump(), kvtest::kFailedBox) << result.out;
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.err, "kelvorant: script line 1: the dialog has closed before this action\n");
      }
    }
    for (const auto &entry : fs::directory_iterator(database)) {
      EXPECT_EQ(entry.path().filename(), ".lock") << "left in the database after round " << round;
    }
  }
  std::printf("%d instances ran, %d failed on the program's path\n", ran, failed);
  const RunResult after = shared.Run("demo", "", env);
  EXPECT_EQ(after.out, kNoService) << "the next start finds the database as a first start does";
}

}  // namespace
