// kelvorant started by root where another user has been at work: in a folder that others may write, below
// another user's links, on a sysfs tree that another user may change. Root never runs another user's code
// and never writes where another user points it; each refusal is one line that names the path and why.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "harness.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunResult;
using kvtest::Sandbox;

std::string Replace(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  return text;
}

void Chown(const fs::path &path, uid_t uid) { ASSERT_EQ(::lchown(path.c_str(), uid, static_cast<gid_t>(-1)), 0) << path; }

// A folder laid out like /sys/bus/pci/devices with one function, 00:01.0, whose image differs from the one
// the script saves in one writable register, so that its Reload writes.
void OneFunctionSysfs(const fs::path &root, const fs::path &function) {
  std::string image(256, '\0');
  image.replace(0, 4, "\x86\x80\x01\x00", 4);
  fs::create_directories(function);
  kvtest::WriteText(function / "config", image);
  fs::create_directories(root);
  if (function.parent_path() != root) fs::create_directory_symlink(function, root / "0000:00:01.0");
}

TEST(Trust, RootRunsNoOtherUsersDriver) {
  const auto nobody = kvtest::Nobody();
  if (!nobody) GTEST_SKIP() << "needs root and the user nobody";
  const std::string planted = KV_PLANTED_MODULE;
  const struct {
    const char *what;
    std::function<void(const fs::path &run)> make;  // the current folder, which holds root's KELVORANT.sys
    const char *why;  // the platform's line after "kelvorant: <RUN>/KELVORANT.sys "
  } cases[] = {
      {"another user's driver in a sticky folder, as /tmp",
       [&](const fs::path &run) {
         fs::permissions(run, fs::perms::all | fs::perms::sticky_bit);
         fs::copy_file(planted, run / "KELVORANT.sys", fs::copy_options::overwrite_existing);
         Chown(run / "KELVORANT.sys", nobody->first);
       },
       "is not opened: it belongs to user 65534 (nobody), not to this process's user or root"},
      {"another user's link to their driver",
       [&](const fs::path &run) {
         fs::remove(run / "KELVORANT.sys");
         fs::create_symlink(planted, run / "KELVORANT.sys");
         Chown(run / "KELVORANT.sys", nobody->first);
       },
       "is not opened: it is a symbolic link that belongs to user 65534 (nobody), and is not followed"},
      {"root's driver in a folder where another user can put theirs in its place",
       [&](const fs::path &run) { fs::permissions(run, fs::perms::all); },
       "is not opened: it lies under <RUN>, which may be written by other users (mode 0777)"},
      {"a FIFO, which would block the start",
       [&](const fs::path &run) {
         fs::remove(run / "KELVORANT.sys");
         ASSERT_EQ(::mkfifo((run / "KELVORANT.sys").c_str(), 0644), 0);
       },
       "is not opened: it is a FIFO, not a regular file"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    const fs::path run = box.Dir() / "run";
    fs::create_directory(run);
    fs::copy_file(box.Dir() / "KELVORANT.sys", run / "KELVORANT.sys");
    c.make(run);
    box.UseFolder(run);
    const RunResult result = box.Run("demo", "");
    EXPECT_FALSE(fs::exists(run / "planted-code-ran")) << "another user's code ran as root";
    EXPECT_EQ(result.err, Replace("kelvorant: <RUN>/KELVORANT.sys " + std::string(c.why) + "\n", "<RUN>", run));
    EXPECT_EQ(result.out, std::string(kvtest::kNoService) + "Driver: KELVORANT.SYS is not in the " + run.string() +
                              " directory. \n" + kvtest::kNoService);
    kvtest::ExpectFailedStart(result, box);
  }
}

TEST(Trust, AFolderNameWithABackslashNamesThatFolder) {
  // Windows code joins a folder and a name with "\\": the program its current folder and KELVORANT.sys, the
  // driver a machine file's folder and the dump it names. The files are the ones in the folder "a\\b", not
  // in a/b, where another driver and another dump lie.
  const std::string other = "00:1f.0 ISA bridge\n00: 86 80 00 11 00 00 00 00 00 00 01 06 00 00 00 00\n";
  const struct {
    const char *what;
    bool inFolder;  // the program runs in a\b; else the machine file lies there
  } cases[] = {{"the current folder", true}, {"the machine file's folder", false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    const fs::path named = box.Dir() / "a\\b", decoy = box.Dir() / "a" / "b";
    fs::create_directories(named);
    fs::create_directories(decoy);
    fs::copy_file(box.Dir() / "KELVORANT.sys", named / "KELVORANT.sys");
    fs::copy_file(KV_PLANTED_MODULE, decoy / "KELVORANT.sys");
    kvtest::WriteText(named / "m.json", R"({ "dump": "d.txt" })");
    kvtest::WriteText(named / "d.txt", "00:00.0 Host bridge\n00: 86 80 00 2a 06 01 90 20 0c 00 00 06 00 00 00 00\n");
    kvtest::WriteText(decoy / "m.json", R"({ "dump": "d.txt" })");
    kvtest::WriteText(decoy / "d.txt", other);
    if (c.inFolder) box.UseFolder(named);
    const RunResult result = box.Run(c.inFolder ? "demo" : (named / "m.json").string(), "dump\n");
    EXPECT_FALSE(fs::exists(decoy / "planted-code-ran"));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    ASSERT_EQ(result.Dumps().size(), 1u);
    const auto rows = result.Dumps()[0]["lists"]["1000"]["rows"];
    ASSERT_FALSE(rows.empty());
    if (!c.inFolder) {
      ASSERT_EQ(rows.size(), 1u);
      EXPECT_EQ(rows[0]["cells"][6], "2A00") << "the host bridge of the folder's own dump, not a/b's";
    }
  }
}

// Runs the script "Save the first row, dump, wait, Reload" and calls `change` once the dump line is there,
// as an FPGA's reload would change a function between its Save and its Reload.
RunResult SaveChangeReload(const Sandbox &box, const std::map<std::string, std::string> &env,
                           const std::function<void()> &change) {
  const int pid = box.Start(env.at("KELVORANT_MACHINE"), "click 1013\ndump\nsleep 2000\nclick 1008\n", env);
  // Until the line is there, or the process has ended (a zombie, which Wait collects).
  const auto running = [pid] { return kvtest::ReadText("/proc/" + std::to_string(pid) + "/stat").find(") Z ") == std::string::npos; };
  for (int i = 0; i < 500 && kvtest::ReadText(box.Dir() / "dump.jsonl").empty() && running(); ++i) ::usleep(10000);
  change();
  return box.Wait(pid);
}

TEST(Trust, RootWritesNowhereThatAnotherUserPoints) {
  const auto nobody = kvtest::Nobody();
  if (!nobody) GTEST_SKIP() << "needs root and the user nobody";
  // Root's own file, which another user would have root's Reload or trace overwrite.
  const auto victim = [](const fs::path &dir) { return dir / "root-only" / "config"; };
  const struct {
    const char *what;
    std::function<void(const fs::path &dir)> make;
    std::map<std::string, std::string> env;  // <DIR> is the sandbox
    int status;
    const char *err;  // every line; <DIR> is the sandbox
  } cases[] = {
      {"root's link to a function in a sysfs folder that another user may change (and the link with it)",
       [&](const fs::path &dir) {
         OneFunctionSysfs(dir / "sys", dir / "root-only");
         fs::permissions(dir / "sys", fs::perms::all);
       },
       {{"KELVORANT_MACHINE", "sysfs:<DIR>/sys"}}, 2,
       "kelvorant: cannot list <DIR>/sys: it may be written by other users (mode 0777)\n"},
      {"another user's link to a function folder of root's",
       [&](const fs::path &dir) {
         OneFunctionSysfs(dir / "sys", dir / "root-only");
         Chown(dir / "sys" / "0000:00:01.0", nobody->first);
       },
       {{"KELVORANT_MACHINE", "sysfs:<DIR>/sys"}}, 0,
       "kelvorant: KELVORANT.sys: <DIR>/sys/0000:00:01.0/config is reached through the link "
       "<DIR>/sys/0000:00:01.0, which belongs to user 65534 (nobody), and is not followed; it is neither read "
       "nor written\n"},
      {"an output below another user's link to root's folder",
       [&](const fs::path &dir) {
         OneFunctionSysfs(dir / "sys", dir / "root-only");
         fs::create_directory_symlink(dir / "root-only", dir / "theirs");
         Chown(dir / "theirs", nobody->first);
       },
       {{"KELVORANT_MACHINE", "demo"}, {"KELVORANT_TRACE", "<DIR>/theirs/config"}}, 2,
       "kelvorant: cannot write the trace <DIR>/theirs/config: is reached through the link <DIR>/theirs, which "
       "belongs to user 65534 (nobody), and is not followed\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    c.make(box.Dir());
    fs::permissions(victim(box.Dir()), fs::perms::owner_read | fs::perms::owner_write);
    std::map<std::string, std::string> env;
    for (const auto &[name, value] : c.env) env[name] = Replace(value, "<DIR>", box.Dir());
    // The function's interrupt line changes between the Save and the Reload: a Reload that reached the
    // file would write it back.
    std::string changed = kvtest::ReadText(victim(box.Dir()));
    changed[0x3c] = 0x5a;
    const RunResult result = SaveChangeReload(box, env, [&] { kvtest::WriteText(victim(box.Dir()), changed); });
    EXPECT_EQ(result.exitCode, c.status);
    EXPECT_EQ(result.err, Replace(c.err, "<DIR>", box.Dir()));
    EXPECT_EQ(kvtest::ReadText(victim(box.Dir())), changed) << "root wrote into a file another user pointed at";
  }
}

}  // namespace
