// The service control manager: every operation in every state of a service, start failures, handles, names,
// the database folder, and several processes sharing it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>
#include <winsvc.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kvplat/kernel.h"
#include "scm.h"
#include "test_support.h"

namespace {

constexpr const char *kName = "KELVORANT";

// The Win32 error of one service manager call, 0 on success. No gtest assertions: children call these too.
DWORD ErrorOf(bool ok) { return ok ? 0 : GetLastError(); }

DWORD Create(const std::string &binary = KV_FAKE_DRIVER, const char *name = kName) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return GetLastError();
  SC_HANDLE service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
  DWORD error = ErrorOf(service != nullptr);
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return error;
}

// Opens the service with `access` and runs `call` on it.
DWORD OnService(DWORD access, const std::function<BOOL(SC_HANDLE)> &call, const char *name = kName) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return GetLastError();
  SC_HANDLE service = OpenServiceA(manager, name, access);
  DWORD error = service ? ErrorOf(call(service)) : GetLastError();
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return error;
}

DWORD Start(DWORD access = SERVICE_ALL_ACCESS, const char *name = kName) {
  return OnService(access, [](SC_HANDLE s) { return StartServiceA(s, 0, nullptr); }, name);
}
DWORD Stop(DWORD access = SERVICE_ALL_ACCESS, const char *name = kName) {
  SERVICE_STATUS status;
  return OnService(access, [&](SC_HANDLE s) { return ControlService(s, SERVICE_CONTROL_STOP, &status); }, name);
}
DWORD Delete(DWORD access = SERVICE_ALL_ACCESS) {
  return OnService(access, [](SC_HANDLE s) { return DeleteService(s); });
}
// The service's status, as an interrogation gives it: a stopped service fills it in too.
DWORD Query(SERVICE_STATUS *status, DWORD access = SERVICE_ALL_ACCESS, const char *name = kName) {
  DWORD error = OnService(access, [&](SC_HANDLE s) { return ControlService(s, SERVICE_CONTROL_INTERROGATE, status); }, name);
  return error == ERROR_SERVICE_NOT_ACTIVE ? 0 : error;
}

// "absent", or "[marked ]running|stopped", then "+device" while \\.\Kelvorant exists in this process.
std::string Observe() {
  std::string state = "absent";
  SERVICE_STATUS status;
  if (Query(&status, SERVICE_INTERROGATE) == 0) {
    state = status.dwCurrentState == SERVICE_RUNNING ? "running" : "stopped";
    if (Create() == ERROR_SERVICE_MARKED_FOR_DELETE) state = "marked " + state;
  }
  return kvplat::FindDevice("Kelvorant") ? state + "+device" : state;
}

enum class State { None, Stopped, RunningHere, DeadStarter, LiveStarter, MarkedHere, MarkedLive, MarkedDead };
enum class Op { Create, Open, Start, Stop, Delete };

struct Case {
  State setup;
  Op op;
  DWORD error;
  const char *after;
};

// Another process: it runs `work`, sends the result to this one, and lives on until Release() (or the end of
// the object), holding what `work` took. No gtest assertions in `work`.
class Child {
 public:
  explicit Child(const std::function<uint64_t()> &work) {
    int up[2], down[2];
    if (::pipe(up) != 0) return;
    if (::pipe(down) == 0 && (pid_ = ::fork()) == 0) {
      ::close(down[1]);  // or its read would never see the end
      const uint64_t answer = work();
      char byte;
      if (::write(up[1], &answer, sizeof answer) == sizeof answer) (void)!::read(down[0], &byte, 1);
      ::_exit(0);
    }
    ::close(up[1]);
    if (pid_ > 0) {
      ::close(down[0]);
      release_ = down[1];
      started_ = ::read(up[0], &result_, sizeof result_) == sizeof result_;
    }
    ::close(up[0]);
  }
  ~Child() { Release(); }
  Child(const Child &) = delete;
  Child &operator=(const Child &) = delete;

  bool started() const { return started_; }  // and sent its result
  uint64_t result() const { return result_; }
  pid_t pid() const { return pid_; }
  void Release() {
    if (release_ < 0) return;
    ::close(release_);  // the child's read returns and it ends
    release_ = -1;
    ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool started_ = false;
  uint64_t result_ = 0;
};

class ScmTest : public ::testing::Test {
 protected:
  void SetUp() override { env_.Set("KELVORANT_SCM_DIR", dir_ / "scm"); }
  void TearDown() override {
    kvplat::UnloadDriver(kName);
    live_.reset();
  }

  // Another process creates and starts the service (and deletes it, when asked), then ends or, when
  // `stayAlive`, runs on until the test ends.
  void StartInChild(bool deleteToo, bool stayAlive) {
    auto child = std::make_unique<Child>([deleteToo] {
      DWORD error = Create();
      if (error == 0) error = Start();
      if (error == 0 && deleteToo) error = Delete();
      return uint64_t{error};
    });
    ASSERT_TRUE(child->started());
    ASSERT_EQ(0u, child->result());
    if (stayAlive) live_ = std::move(child);
  }

  void Arrange(State setup) {
    switch (setup) {
      case State::None: break;
      case State::Stopped: ASSERT_EQ(0u, Create()); break;
      case State::RunningHere: ASSERT_EQ(0u, Create()); ASSERT_EQ(0u, Start()); break;
      case State::DeadStarter: StartInChild(false, false); break;
      case State::LiveStarter: StartInChild(false, true); break;
      case State::MarkedHere:
        ASSERT_EQ(0u, Create());
        ASSERT_EQ(0u, Start());
        ASSERT_EQ(0u, Delete());
        break;
      case State::MarkedLive: StartInChild(true, true); break;
      case State::MarkedDead: StartInChild(true, false); break;
    }
  }

  kvtest::TempDir dir_;
  kvtest::EnvOverride env_;
  std::unique_ptr<Child> live_;  // a starter that runs on
};

class ScmStateTest : public ScmTest, public ::testing::WithParamInterface<Case> {};

TEST_P(ScmStateTest, OperationGivesErrorAndState) {
  const Case &c = GetParam();
  Arrange(c.setup);
  DWORD error = 0;
  switch (c.op) {
    case Op::Create: error = Create(); break;
    case Op::Open: error = OnService(SERVICE_ALL_ACCESS, [](SC_HANDLE) { return TRUE; }); break;
    case Op::Start: error = Start(); break;
    case Op::Stop: error = Stop(); break;
    case Op::Delete: error = Delete(); break;
  }
  EXPECT_EQ(c.error, error);
  EXPECT_EQ(c.after, Observe());
}

const Case kCases[] = {
    {State::None, Op::Create, 0, "stopped"},
    {State::None, Op::Open, ERROR_SERVICE_DOES_NOT_EXIST, "absent"},
    {State::Stopped, Op::Create, ERROR_SERVICE_EXISTS, "stopped"},
    {State::Stopped, Op::Start, 0, "running+device"},
    {State::Stopped, Op::Stop, ERROR_SERVICE_NOT_ACTIVE, "stopped"},
    {State::Stopped, Op::Delete, 0, "absent"},
    {State::RunningHere, Op::Start, ERROR_SERVICE_ALREADY_RUNNING, "running+device"},
    {State::RunningHere, Op::Stop, 0, "stopped"},
    {State::RunningHere, Op::Delete, 0, "marked running+device"},
    {State::DeadStarter, Op::Start, 0, "running+device"},
    {State::DeadStarter, Op::Stop, ERROR_SERVICE_NOT_ACTIVE, "stopped"},
    {State::DeadStarter, Op::Delete, 0, "absent"},
    {State::LiveStarter, Op::Start, ERROR_SERVICE_ALREADY_RUNNING, "running+device"},  // its device, here too
    {State::LiveStarter, Op::Stop, 0, "stopped"},
    {State::LiveStarter, Op::Delete, 0, "marked running"},
    {State::MarkedHere, Op::Create, ERROR_SERVICE_MARKED_FOR_DELETE, "marked running+device"},
    {State::MarkedHere, Op::Start, ERROR_SERVICE_MARKED_FOR_DELETE, "marked running+device"},
    {State::MarkedHere, Op::Stop, 0, "absent"},
    {State::MarkedHere, Op::Delete, ERROR_SERVICE_MARKED_FOR_DELETE, "marked running+device"},
    {State::MarkedLive, Op::Start, ERROR_SERVICE_MARKED_FOR_DELETE, "marked running"},
    {State::MarkedLive, Op::Stop, 0, "absent"},
    {State::MarkedDead, Op::Open, ERROR_SERVICE_DOES_NOT_EXIST, "absent"},
    {State::MarkedDead, Op::Create, 0, "stopped"},
};

std::string CaseName(const Case &c) {
  static const char *setups[] = {"None",        "Stopped",    "RunningHere", "DeadStarter",
                                 "LiveStarter", "MarkedHere", "MarkedLive",  "MarkedDead"};
  static const char *ops[] = {"Create", "Open", "Start", "Stop", "Delete"};
  return std::string(setups[static_cast<int>(c.setup)]) + "_" + ops[static_cast<int>(c.op)];
}

void PrintTo(const Case &c, std::ostream *out) { *out << CaseName(c); }

INSTANTIATE_TEST_SUITE_P(AllStates, ScmStateTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) { return CaseName(info.param); });

// The last start's failure is the service's exit code; 2, 193 and 31 themselves come from the loader.
TEST_F(ScmTest, AFailedStartIsTheExitCode) {
  ASSERT_EQ(0u, Create(dir_ / "missing.sys"));
  SERVICE_STATUS status;
  ASSERT_EQ(0u, Query(&status));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NEVER_STARTED), status.dwWin32ExitCode);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Start());
  ASSERT_EQ(0u, Query(&status));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), status.dwWin32ExitCode);
}

TEST_F(ScmTest, HandlesOfAnotherKindOrClosedAreInvalidNamesIgnoreCase) {
  ASSERT_EQ(0u, Create());
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, kName, SERVICE_ALL_ACCESS);
  ASSERT_NE(nullptr, service);
  SERVICE_STATUS status;
  const std::pair<const char *, BOOL> calls[] = {
      {"StartServiceA(manager)", StartServiceA(manager, 0, nullptr)},
      {"ControlService(manager)", ControlService(manager, SERVICE_CONTROL_INTERROGATE, &status)},
      {"OpenServiceA(service)", OpenServiceA(service, kName, SERVICE_ALL_ACCESS) != nullptr},
      {"CloseHandle(service)", CloseHandle(reinterpret_cast<HANDLE>(service))},
      {"CloseServiceHandle(bogus)", CloseServiceHandle(reinterpret_cast<SC_HANDLE>(0x7770))},
  };
  for (const auto &[what, result] : calls) EXPECT_FALSE(result) << what;
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_EXISTS), Create(KV_FAKE_DRIVER, "Kelvorant"));  // names ignore case
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), Create("/tmp/b\xe9/KELVORANT.sys", "Other"))
      << "a binary path that is not UTF-8 cannot be recorded";
  EXPECT_TRUE(CloseServiceHandle(service));
  EXPECT_FALSE(CloseServiceHandle(service));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(DeleteService(service));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  CloseServiceHandle(manager);
}

TEST_F(ScmTest, TheDatabaseFolderIsCreatedPrivate) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(nullptr, manager);
  struct stat st;
  ASSERT_EQ(0, ::stat((dir_ / "scm").c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 0777);
  CloseServiceHandle(manager);

  kvtest::EnvOverride env;
  env.Set("KELVORANT_SCM_DIR", dir_ / "plain-file");
  kvtest::WriteText(dir_ / "plain-file", "");
  EXPECT_EQ(nullptr, OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST_F(ScmTest, ARecordReachedThroughALinkIsNotRead) {
  ASSERT_EQ(0u, Create());
  const std::string record = dir_ / "scm/kelvorant.service";
  ASSERT_EQ(0, ::rename(record.c_str(), (dir_ / "elsewhere.service").c_str()));
  ASSERT_EQ(0, ::symlink((dir_ / "elsewhere.service").c_str(), record.c_str()));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), Start());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "kelvorant: the service record " + (dir_ / "scm") +
                "/kelvorant.service is damaged and is ignored: it is a symbolic link, and is not followed\n");
  EXPECT_EQ(0u, Create()) << "a new record replaces the link, not the file it names";
  EXPECT_EQ(kvtest::ReadText(dir_ / "elsewhere.service").find("\"running\""), std::string::npos);
}

// A record that another writer damaged is ignored with a line that says what is wrong, quoted text escaped;
// a number is never cast into a field that cannot hold it.
TEST_F(ScmTest, ADamagedRecordIsIgnoredWithItsReason) {
  const struct {
    const char *field, *damaged, *why;
  } cases[] = {
      {"\"errorControl\": 1", "\"errorControl\": 1e27", "errorControl is not a whole number from 0 to 4294967295"},
      {"\"exitCode\": 1077", "\"exitCode\": -1", "exitCode is not a whole number from 0 to 4294967295"},
      {"\"state\": \"stopped\"", "\"state\": \"\\u001b[2J\"", "unknown state \"\\x1b[2J\""},
  };
  const std::string record = dir_ / "scm/kelvorant.service";
  for (const auto &c : cases) {
    SCOPED_TRACE(c.damaged);
    ASSERT_EQ(0u, Create());
    std::string text = kvtest::ReadText(record);
    const size_t at = text.find(c.field);
    ASSERT_NE(at, std::string::npos) << text;
    kvtest::WriteText(record, text.replace(at, std::string_view(c.field).size(), c.damaged));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), Start());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "kelvorant: the service record " + (dir_ / "scm") +
                                                            "/kelvorant.service is damaged and is ignored: " + c.why + "\n");
    ASSERT_EQ(0, ::unlink(record.c_str()));
  }
}

TEST_F(ScmTest, ADatabaseHeldTooLongFailsTheCallWith1055) {
  ASSERT_EQ(0, ::mkdir((dir_ / "scm").c_str(), 0700));
  const std::string lockFile = dir_ / "scm/.lock";
  Child holder([&lockFile] {
    const int lock = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0600);
    return uint64_t{lock >= 0 && ::flock(lock, LOCK_EX) == 0};
  });
  ASSERT_TRUE(holder.started());
  ASSERT_EQ(1u, holder.result());
  ::testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DATABASE_LOCKED), Create());
  const auto waited = std::chrono::steady_clock::now() - start;
  const std::string err = ::testing::internal::GetCapturedStderr();
  holder.Release();
  EXPECT_GE(waited, std::chrono::seconds(10));
  const std::string holderName = "process " + std::to_string(holder.pid());
  EXPECT_NE(err.find("kelvorant: the service database " + (dir_ / "scm") + " is held by " + holderName), std::string::npos) << err;
  EXPECT_NE(err.find("is still held by " + holderName), std::string::npos) << err;
  EXPECT_NE(err.find("after 10 s; the call fails\n"), std::string::npos) << err;
  EXPECT_EQ(0u, Create()) << "free again";
}

TEST_F(ScmTest, ConcurrentCreatesLetExactlyOneWin) {
  constexpr int kChildren = 6;
  int go[2];
  ASSERT_EQ(0, ::pipe(go));
  std::vector<pid_t> children;
  for (int i = 0; i < kChildren; ++i) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(go[1]);
      char byte;
      (void)!::read(go[0], &byte, 1);  // all start together when the pipe closes
      const DWORD error = Create();
      ::_exit(error == 0 ? 0 : error == ERROR_SERVICE_EXISTS ? 1 : 2);
    }
    children.push_back(pid);
  }
  ::close(go[0]);
  ::close(go[1]);
  int created = 0, existed = 0;
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    created += WEXITSTATUS(status) == 0;
    existed += WEXITSTATUS(status) == 1;
  }
  EXPECT_EQ(1, created);
  EXPECT_EQ(kChildren - 1, existed);
}

TEST(ProcessIdentity, TellsAReusedPidFromItsStarter) {
  const kvplat::ProcessIdentity self = kvplat::CurrentProcessIdentity();
  EXPECT_TRUE(kvplat::IsProcessRunning(self));
  EXPECT_FALSE(kvplat::IsProcessRunning({self.pid, self.startTime + 1}));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(0);
  // An ended child that is not reaped yet still holds its pid, as a zombie: it does not run.
  for (int i = 0; i < 1000 && kvplat::ProcessStartTime(child) != 0; ++i) ::usleep(1000);
  EXPECT_EQ(0u, kvplat::ProcessStartTime(child));
  ASSERT_EQ(child, ::waitpid(child, nullptr, 0));
}

TEST(ProcessIdentity, ANameWithParenthesesAndSpacesDoesNotMoveTheFields) {
  // "PID () Z 1 2 3) S ...": a zombie to a reader that counts from the first ')'.
  Child renamed([] {
    const uint64_t before = kvplat::ProcessStartTime(::getpid());
    return ::prctl(PR_SET_NAME, ") Z 1 2 3") == 0 ? before : 0;
  });
  ASSERT_TRUE(renamed.started());
  EXPECT_NE(0u, renamed.result());
  EXPECT_EQ(renamed.result(), kvplat::ProcessStartTime(renamed.pid()));
}

}  // namespace
