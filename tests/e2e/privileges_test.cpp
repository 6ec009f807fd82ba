// kelvorant started by root on behalf of a user (sudo's SUDO_UID and SUDO_GID, pkexec's PKEXEC_UID): it
// opens this computer's configuration space as root, then runs as that user for good, and whatever it
// writes belongs to the user. The user here is nobody; this computer's sysfs is only read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "harness.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunResult;
using kvtest::Sandbox;

// The lines of /proc/PID/status that say who a process is and what it may do.
std::map<std::string, std::string> Identity(int pid) {
  std::map<std::string, std::string> fields;
  std::istringstream status(kvtest::ReadText("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    fields[line.substr(0, colon)] = value;
  }
  return fields;
}

// The sudo environment of the user nobody, with the sandbox open to it (sticky, as /tmp).
std::map<std::string, std::string> AsNobodyThroughSudo(const Sandbox &box, std::pair<uid_t, gid_t> nobody) {
  fs::permissions(box.Dir(), fs::perms::all | fs::perms::sticky_bit);
  return {{"SUDO_UID", std::to_string(nobody.first)}, {"SUDO_GID", std::to_string(nobody.second)}};
}

TEST(Privileges, RootBecomesTheUserItWasStartedForAndWritesAsThem) {
  const auto nobody = kvtest::Nobody();
  if (!nobody) GTEST_SKIP() << "needs root and the user nobody";
  Sandbox box;
  const int pid = box.Start("demo", "dump\nsleep 3000\n", AsNobodyThroughSudo(box, *nobody));
  std::map<std::string, std::string> seen;
  for (int i = 0; i < 300 && kvtest::ReadText(box.Dir() / "dump.jsonl").empty(); ++i) ::usleep(10000);
  seen = Identity(pid);
  const RunResult result = box.Wait(pid);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string id = std::to_string(nobody->first), gid = std::to_string(nobody->second);
  const std::map<std::string, std::string> expected = {
      {"Uid", id + "\t" + id + "\t" + id + "\t" + id}, {"Gid", gid + "\t" + gid + "\t" + gid + "\t" + gid},
      {"CapInh", "0000000000000000"}, {"CapPrm", "0000000000000000"}, {"CapEff", "0000000000000000"},
      {"CapBnd", "0000000000000000"}, {"CapAmb", "0000000000000000"}, {"NoNewPrivs", "1"}};
  for (const auto &[field, value] : expected) EXPECT_EQ(seen[field], value) << field;
  for (const char *file : {"dump.jsonl", "trace.txt", "scm"}) {
    struct stat st;
    ASSERT_EQ(::stat((box.Dir() / file).c_str(), &st), 0) << file;
    EXPECT_EQ(st.st_uid, nobody->first) << file << " belongs to the user";
  }
}

// With --unprivileged, root gives root up before it opens them: the user's run reads 64 bytes of each.
TEST(Privileges, TheUsersRunReadsThisComputersFunctionsAsRootOpenedThemUnlessUnprivileged) {
  const auto nobody = kvtest::Nobody();
  if (!nobody) GTEST_SKIP() << "needs root and the user nobody";
  // The first function of domain 0000, whose dword at 0x40 only root may read.
  std::string first, config;
  for (const auto &entry : fs::directory_iterator("/sys/bus/pci/devices")) {
    const std::string name = entry.path().filename();
    if (name.rfind("0000:", 0) != 0 || (!first.empty() && name > first)) continue;
    first = name;
    config = kvtest::ReadText(entry.path() / "config");
  }
  if (first.empty() || config.size() < 256 || config.substr(0x40, 4) == std::string(4, '\xff'))
    GTEST_SKIP() << "this computer has no function of domain 0000 with a dword at 0x40";
  char word[16];
  std::snprintf(word, sizeof word, "%02X%02X%02X%02X", static_cast<unsigned char>(config[0x43]),
                static_cast<unsigned char>(config[0x42]), static_cast<unsigned char>(config[0x41]),
                static_cast<unsigned char>(config[0x40]));
  const struct {
    std::vector<std::string> args;
    std::string shown;  // the start of the register view's row of 0x40, for row 0 (the first function)
  } cases[] = {{{}, word}, {{"--unprivileged"}, "FFFFFFFF FFFFFFFF FFFFFFFF FFFFFFFF"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    Sandbox box;
    const RunResult result = box.Run("sysfs", "dump\n", AsNobodyThroughSudo(box, *nobody), c.args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(result.Dumps().size(), 1u);
    const auto dumps = result.Dumps();
    std::string row;
    for (const auto &view : dumps[0]["lists"]["1002"]["rows"])
      if (view["cells"][0] == "Device Specific [40]") row = view["cells"][1];
    EXPECT_EQ(row.substr(0, c.shown.size()), c.shown) << "offset 0x40 of " << first << " is " << word;
  }
}

// A malformed variable, or --unprivileged for a root login, which has no user to become.
TEST(Privileges, NoUserToBecomeStopsTheStart) {
  const auto nobody = kvtest::Nobody();
  if (!nobody) GTEST_SKIP() << "needs root and the user nobody";
  const char *rootsOwn = "--unprivileged: this is root's own run, with no user to run as (no SUDO_UID or PKEXEC_UID "
                         "names one): start kelvorant as an ordinary user, or without --unprivileged";
  const struct {
    std::map<std::string, std::string> env;
    const char *said;
    std::vector<std::string> args = {};
  } cases[] = {
      {{}, rootsOwn, {"--unprivileged"}},
      {{{"SUDO_UID", "0"}}, rootsOwn, {"--unprivileged"}},
      {{{"SUDO_UID", "nobody"}}, "SUDO_UID is \"nobody\", not a user id"},
      {{{"SUDO_UID", "-1"}}, "SUDO_UID is \"-1\", not a user id"},
      {{{"SUDO_UID", "4294967295"}}, "SUDO_UID is \"4294967295\", not a user id"},
      {{{"SUDO_UID", "65534"}, {"SUDO_GID", "65534 "}}, "SUDO_GID is \"65534 \", not a group id"},
      {{{"SUDO_UID", "3999999999"}, {"SUDO_GID", "100"}},
       "SUDO_UID names user 3999999999, who has no entry in the user database"},
      {{{"PKEXEC_UID", "3999999999"}}, "PKEXEC_UID names user 3999999999, who has no entry in the user database"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.said);
    Sandbox box;
    const RunResult result = box.Run("demo", "", c.env, c.args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kelvorant: " + std::string(c.said) + "\n");
    EXPECT_EQ(result.out, "");
  }
}

TEST(Privileges, AUserRunWithTooFewDescriptorsForItsFunctionsSaysSo) {
  const auto nobody = kvtest::Nobody();
  if (!nobody) GTEST_SKIP() << "needs root and the user nobody";
  Sandbox box;
  for (int device = 0; device < 32; ++device) {
    char name[32];
    std::snprintf(name, sizeof name, "sys/0000:00:%02x.0/config", device);
    box.Write(name, std::string(64, '\x11'));
  }
  // A hard limit that the user cannot raise: root may raise its own for this computer's functions, a user
  // not for the files of a folder.
  box.Write("limited.sh", "#!/bin/sh\nulimit -n 48 && exec " + (kvtest::BuildDir() / "kelvorant").string() + "\n");
  fs::permissions(box.Dir() / "limited.sh", fs::perms(0755));
  box.UseProgram(box.Dir() / "limited.sh");
  const RunResult result = box.Run("sysfs:" + (box.Dir() / "sys").string(), "", AsNobodyThroughSudo(box, *nobody));
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.err, "kelvorant: " + (box.Dir() / "sys").string() +
                            " lists 32 functions, but this process may have only 48 files open (ulimit -n), and "
                            "needs 96\n");
}

}  // namespace
