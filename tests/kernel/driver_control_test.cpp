// The program's driver service code, run as its own process in a folder of its own, with its standard
// output compared byte for byte. "= ..." lines are the scenario program's record of what each step returned.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <windows.h>
#include <winsvc.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::string kNoService =
    "OpenService failed!  Error = 1060 \n"
    "OpenService failed!  Error = 1060 \n";

enum class DriverFile { None, Fake, Text };

class DriverControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("KELVORANT_SCM_DIR", ScmDir());  // for the service calls this test makes itself
    kvtest::CopyFile(KV_FAKE_DRIVER, elsewhere_ / "KELVORANT.sys");
  }

  std::string ScmDir() const { return scm_ / "db"; }

  void Put(DriverFile file, const std::string &dir) {
    if (file == DriverFile::Fake) kvtest::CopyFile(KV_FAKE_DRIVER, dir + "/KELVORANT.sys");
    if (file == DriverFile::Text) kvtest::WriteText(dir + "/KELVORANT.sys", "not a driver\n");
  }

  // <DIR> is the program's current directory, <ELSEWHERE> a folder holding another copy of the driver.
  std::string Expand(const std::string &text) const {
    std::string expanded = kvtest::WithDir(text, work_.path());
    for (std::string::size_type at; (at = expanded.find("<ELSEWHERE>")) != std::string::npos;) {
      expanded.replace(at, 11, elsewhere_.path());
    }
    return expanded;
  }

  kvtest::ChildResult Run(const std::vector<std::string> &steps, kvtest::ChildOptions options = {}) {
    std::vector<std::string> argv = {KV_DRIVER_SCENARIO};
    for (const std::string &step : steps) argv.push_back(Expand(step));
    if (options.cwd.empty()) options.cwd = work_.path();
    options.env.emplace_back("KELVORANT_SCM_DIR", ScmDir());
    return kvtest::RunChild(argv, options);
  }

  kvtest::TempDir work_, scm_, elsewhere_;
  kvtest::EnvOverride env_;
};

struct Scenario {
  const char *name;
  DriverFile file;
  std::vector<std::pair<std::string, std::optional<std::string>>> env;
  std::vector<std::string> steps;
  std::string out;
  const char *errHas;
};

TEST_F(DriverControlTest, StartUpSequences) {
  const Scenario scenarios[] = {
      {"no service to remove", DriverFile::None, {}, {"uninstall"}, kNoService + "= UninstallDriver 1\n", ""},
      {"missing driver file: no service call", DriverFile::None, {}, {"uninstall", "open", "uninstall"},
       kNoService + "= UninstallDriver 1\n"
                    "Driver: KELVORANT.SYS is not in the <DIR> directory. \n"
                    "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=<DIR>\n" +
           kNoService + "= UninstallDriver 1\n",
       ""},
      {"installs, serves, removes", DriverFile::Fake, {}, {"uninstall", "open", "read", "uninstall", "read"},
       kNoService + "= UninstallDriver 1\n"
                    "= OpenDriverDevice 1 g_hDevice=open path=<DIR>\\KELVORANT.sys\n"
                    "= read status=1 returned=272 data[255]=255\n"
                    "= UninstallDriver 1\n"
                    "= read failed 55\n",  // the handle outlives its driver
       ""},
      {"driver refuses to start", DriverFile::Fake, {{"KV_FAKE_FAIL", "1"}}, {"uninstall", "open", "uninstall"},
       kNoService + "= UninstallDriver 1\n"
                    "StartService failure! Error = 31 \n"
                    "Unable to install driver.\n"
                    "ControlService failed!  Error = 1062 \n"
                    "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=<DIR>\\KELVORANT.sys\n" +
           kNoService + "= UninstallDriver 1\n",
       "kelvorant: fake driver: refusing to start\n"},
      {"driver file is no module", DriverFile::Text, {}, {"open"},
       "StartService failure! Error = 193 \n"
       "Unable to install driver.\n"
       "ControlService failed!  Error = 1062 \n"
       "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=<DIR>\\KELVORANT.sys\n",
       "is not a driver module"},
      {"first open fails with another error", DriverFile::Fake, {}, {"fail-open=5", "open"},
       "CreateFile failed!  ERROR_FILE_NOT_FOUND = 5\n"
       "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=\n",
       ""},
      {"device present: opened at once, no file check", DriverFile::None, {},
       {"install=<ELSEWHERE>/KELVORANT.sys", "open"},
       "= ManageDriver 1\n"
       "= OpenDriverDevice 1 g_hDevice=open path=\n",
       ""},
      {"running service counts as started", DriverFile::Fake, {{"KV_FAKE_DEVICE", "Elsewhere"}},
       {"install=<ELSEWHERE>/KELVORANT.sys", "open"},
       "= ManageDriver 1\n"
       "Error: CreatFile Failed : 2\n"  // started, yet its device is not \\.\Kelvorant
       "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=<DIR>\\KELVORANT.sys\n",
       ""},
  };
  for (const Scenario &s : scenarios) {
    SCOPED_TRACE(s.name);
    std::filesystem::remove(work_ / "KELVORANT.sys");
    std::filesystem::remove_all(ScmDir());
    Put(s.file, work_.path());
    kvtest::ChildOptions options;
    options.env = s.env;
    const kvtest::ChildResult result = Run(s.steps, options);
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ(Expand(s.out), result.out);
    EXPECT_NE(std::string::npos, result.err.find(s.errHas)) << result.err;
  }
}

DWORD CreateStoppedService(const std::string &binary) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = CreateServiceA(manager, "KELVORANT", "KELVORANT", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
  DWORD error = service ? 0 : GetLastError();
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return error;
}

TEST_F(DriverControlTest, AStoppedServiceIsStillDeleted) {
  ASSERT_EQ(0u, CreateStoppedService(elsewhere_ / "KELVORANT.sys"));
  EXPECT_EQ("ControlService failed!  Error = 1062 \n= UninstallDriver 1\n", Run({"uninstall"}).out);
  EXPECT_EQ(kNoService + "= UninstallDriver 1\n", Run({"uninstall"}).out);
}

// An existing service is started as it is: its recorded driver path wins over the one just located.
TEST_F(DriverControlTest, AnExistingServiceIsReusedUnchanged) {
  const std::pair<std::string, std::string> cases[] = {
      {elsewhere_ / "KELVORANT.sys", "= OpenDriverDevice 1 g_hDevice=open path=<DIR>\\KELVORANT.sys\n"},
      {elsewhere_ / "gone.sys",
       "StartService failure! Error = 2 \n"
       "Unable to install driver.\n"
       "ControlService failed!  Error = 1062 \n"
       "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=<DIR>\\KELVORANT.sys\n"},
  };
  Put(DriverFile::Fake, work_.path());
  for (const auto &[recorded, out] : cases) {
    std::filesystem::remove_all(ScmDir());
    ASSERT_EQ(0u, CreateStoppedService(recorded));
    EXPECT_EQ(Expand(out), Run({"open"}).out) << recorded;
  }
}

TEST_F(DriverControlTest, AServiceLeftByACrashedRunIsReplaced) {
  Put(DriverFile::Fake, work_.path());
  const kvtest::ChildResult crashed = Run({"open", "kill"});
  EXPECT_EQ(SIGKILL, crashed.signal);
  EXPECT_EQ(Expand("= OpenDriverDevice 1 g_hDevice=open path=<DIR>\\KELVORANT.sys\n"), crashed.out);

  EXPECT_EQ(Expand("ControlService failed!  Error = 1062 \n"  // its process ended: not running
                   "= UninstallDriver 1\n"
                   "= OpenDriverDevice 1 g_hDevice=open path=<DIR>\\KELVORANT.sys\n"
                   "= UninstallDriver 1\n"),
            Run({"uninstall", "open", "uninstall"}).out);
}

TEST_F(DriverControlTest, WithoutRightsToTheManagerNothingIsInstalled) {
  const passwd *nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || nobody == nullptr) GTEST_SKIP() << "needs root and the user nobody";
  ASSERT_EQ(0, ::mkdir(ScmDir().c_str(), 0700));  // root's database
  ASSERT_EQ(0, ::chmod(work_.path().c_str(), 0755));
  Put(DriverFile::Fake, work_.path());
  kvtest::ChildOptions options;
  options.user = std::make_pair(nobody->pw_uid, nobody->pw_gid);
  const kvtest::ChildResult result = Run({"uninstall", "open", "uninstall"}, options);
  if (result.exitCode == 126) GTEST_SKIP() << "the scenario program cannot be run as nobody from here";
  const std::string denied = "Open SC Manager failed! Error = 5 \n";
  EXPECT_EQ(Expand(denied + "= UninstallDriver 0\n" + denied + "Unable to install driver.\n" + denied +
                   "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=<DIR>\\KELVORANT.sys\n" + denied +
                   "= UninstallDriver 0\n"),
            result.out);
}

// A folder below `base` whose path is exactly `length` characters long.
std::string MakeDirectoryOfLength(const std::string &base, size_t length) {
  std::string path = base;
  std::filesystem::create_directory(path);
  while (path.size() < length) {
    const size_t remaining = length - path.size();
    size_t name = std::min<size_t>(remaining - 1, 200);
    if (remaining - 1 - name == 1) --name;  // leave room for at least "/x"
    path += "/" + std::string(name, 'd');
    std::filesystem::create_directory(path);
  }
  return path;
}

TEST_F(DriverControlTest, ALongCurrentDirectoryFailsCleanly) {
  const std::string located = "= OpenDriverDevice 1 g_hDevice=open path=<LONG>\\KELVORANT.sys\n";
  const std::string noRoom =
      "Driver: KELVORANT.SYS is not in the <LONG> directory. \n"
      "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=<LONG>\n";
  const std::string tooLong =
      "GetCurrentDirectory failed!  Error = 206 \n"
      "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=\n";
  const std::pair<size_t, std::string> cases[] = {
      {245, located},  // 245 + "\KELVORANT.sys" + the zero = 260
      {246, noRoom}, {259, noRoom}, {260, tooLong}, {300, tooLong},
  };
  ASSERT_LT(work_.path().size(), 240u);
  for (const auto &[length, out] : cases) {
    SCOPED_TRACE(length);
    std::filesystem::remove_all(ScmDir());
    const std::string dir = MakeDirectoryOfLength(work_ / std::to_string(length), length);
    ASSERT_EQ(length, dir.size());
    Put(DriverFile::Fake, dir);
    kvtest::ChildOptions options;
    options.cwd = dir;
    const kvtest::ChildResult result = Run({"open"}, options);
    EXPECT_EQ(0, result.exitCode) << result.err;  // an overrun would fault on the guard page
    std::string expected = out;
    for (std::string::size_type at; (at = expected.find("<LONG>")) != std::string::npos;) {
      expected.replace(at, 6, dir);
    }
    EXPECT_EQ(expected, result.out);
  }
}

}  // namespace
