// The program's driver service code, run as its own process in a folder of its own, with its standard
// output compared byte for byte. "= ..." lines are the scenario program's record of what each step returned.
// The paths that the program meets on its own (no service, a missing or broken driver file, a stale
// service, no rights, a long current directory) are shown end to end in tests/e2e; these are the ones that
// need a service set up beforehand or a device open that fails.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsvc.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::string kNoService =
    "OpenService failed!  Error = 1060 \n"
    "OpenService failed!  Error = 1060 \n";

enum class DriverFile { None, Fake };

class DriverControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("KELVORANT_SCM_DIR", ScmDir());  // for the service calls this test makes itself
    kvtest::CopyFile(KV_FAKE_DRIVER, elsewhere_ / "KELVORANT.sys");
  }

  std::string ScmDir() const { return scm_ / "db"; }

  void Put(DriverFile file, const std::string &dir) {
    if (file == DriverFile::Fake) kvtest::CopyFile(KV_FAKE_DRIVER, dir + "/KELVORANT.sys");
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
};

TEST_F(DriverControlTest, StartUpSequences) {
  const Scenario scenarios[] = {
      {"first open fails with another error", DriverFile::Fake, {}, {"fail-open=5", "open"},
       "CreateFile failed!  ERROR_FILE_NOT_FOUND = 5\n"
       "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=\n"},
      {"device present: opened at once, no file check", DriverFile::None, {},
       {"install=<ELSEWHERE>/KELVORANT.sys", "open"},
       "= ManageDriver 1\n"
       "= OpenDriverDevice 1 g_hDevice=open path=\n"},
      {"running service counts as started", DriverFile::Fake, {{"KV_FAKE_DEVICE", "Elsewhere"}},
       {"install=<ELSEWHERE>/KELVORANT.sys", "open"},
       "= ManageDriver 1\n"
       "Error: CreatFile Failed : 2\n"  // started, yet its device is not \\.\Kelvorant
       "= OpenDriverDevice 0 g_hDevice=INVALID_HANDLE_VALUE path=<DIR>\\KELVORANT.sys\n"},
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

}  // namespace
