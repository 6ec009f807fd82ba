#include "harness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace kvtest {

namespace fs = std::filesystem;

fs::path BuildDir() { return KV_BUILD_DIR; }
fs::path DataDir() { return KV_TEST_DATA_DIR; }

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<nlohmann::ordered_json> RunResult::Dumps() const {
  std::vector<nlohmann::ordered_json> dumps;
  for (const auto &line : lines)
    if (line.contains("dump")) dumps.push_back(line["dump"]);
  return dumps;
}

std::vector<nlohmann::ordered_json> RunResult::MessageBoxes() const {
  std::vector<nlohmann::ordered_json> boxes;
  for (const auto &line : lines)
    if (line.contains("messageBox")) boxes.push_back(line["messageBox"]);
  return boxes;
}

Sandbox::Sandbox() { fs::copy_file(BuildDir() / "KELVORANT.sys", dir_ / "KELVORANT.sys"); }

fs::path Sandbox::Write(const std::string &name, const std::string &text) const { return box_.Write(name, text); }

RunResult Sandbox::Run(const std::string &machine, const std::string &script,
                       const std::map<std::string, std::string> &extraEnv,
                       const std::vector<std::string> &args) const {
  return Wait(Start(machine, script, extraEnv, args));
}

int Sandbox::Start(const std::string &machine, const std::string &script,
                   const std::map<std::string, std::string> &extraEnv,
                   const std::vector<std::string> &args) const {
  std::map<std::string, std::string> env = {
      {"KELVORANT_UI", "headless"},
      {"KELVORANT_MACHINE", machine},
      {"KELVORANT_TRACE", (dir_ / "trace.txt").string()},
      {"KELVORANT_UI_SCRIPT", Write("script.txt", script).string()},
      {"KELVORANT_UI_DUMP", (dir_ / "dump.jsonl").string()},
      {"KELVORANT_SCM_DIR", (dir_ / "scm").string()},
  };
  for (const auto &[name, value] : extraEnv) env[name] = value;
  const std::string program = (program_.empty() ? BuildDir() / "kelvorant" : program_).string();
  std::vector<char *> argv = {const_cast<char *>("kelvorant")};
  for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  fs::remove(dir_ / "trace.txt");
  fs::remove(dir_ / "dump.jsonl");

  pid_t pid = fork();
  if (pid == 0) {
    // A test run as root under sudo would otherwise run every kelvorant as the user who called sudo.
    for (const char *name : {"KELVORANT_UI", "KELVORANT_MACHINE", "KELVORANT_TRACE", "KELVORANT_UI_SCRIPT",
                             "KELVORANT_UI_DUMP", "KELVORANT_SCM_DIR", "DISPLAY", "SUDO_UID", "SUDO_GID",
                             "PKEXEC_UID"})
      unsetenv(name);
    for (const auto &[name, value] : env)
      if (!value.empty()) setenv(name.c_str(), value.c_str(), 1);
    // As a shell with job control starts it: a signal that this test was started ignoring is not passed on.
    for (int number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) ::signal(number, SIG_DFL);
    if (chdir((folder_.empty() ? dir_ : folder_).c_str()) != 0) _exit(126);
    int out = open((dir_ / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open((dir_ / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    ::close_range(3, ~0U, 0);  // what the test runner left open is not the program's
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

RunResult Sandbox::Wait(int pid) const {
  RunResult result;
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.err = "kelvorant did not end within 120 s\n";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadText(dir_ / "stdout.txt");
  result.err += ReadText(dir_ / "stderr.txt");
  result.trace = Lines(ReadText(dir_ / "trace.txt"));
  for (const std::string &line : Lines(ReadText(dir_ / "dump.jsonl")))
    result.lines.push_back(nlohmann::ordered_json::parse(line));
  // Every run: the program never sends a message that the platform does not implement.
  EXPECT_EQ(result.err.find("not implemented"), std::string::npos) << result.err;
  return result;
}

}  // namespace kvtest

namespace kvtest {

bool Sandbox::ServiceInstalled() const {
  return std::filesystem::exists(dir_ / "scm" / "kelvorant.service");
}

}  // namespace kvtest

namespace kvtest {

DumpPipe::DumpPipe(const fs::path &path) {
  EXPECT_EQ(mkfifo(path.c_str(), 0600), 0) << std::strerror(errno);
  // Close-on-exec: a program started now must not hold the pipe open itself.
  read_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_EQ(fcntl(read_, F_SETPIPE_SZ, kPipeSize), kPipeSize);
  // With a writer of our own always there, an empty pipe means "wait", not "the end".
  hold_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
}

DumpPipe::~DumpPipe() { Close(); }

bool DumpPipe::ReadLines(size_t count) {
  const size_t want = lines_.size() + count;
  while (lines_.size() < want)
    if (!Fill()) return false;
  return true;
}

void DumpPipe::ReadToEnd() {
  if (hold_ >= 0) close(hold_);
  hold_ = -1;
  while (Fill()) {
  }
}

void DumpPipe::Close() {
  for (int *fd : {&hold_, &read_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

bool DumpPipe::Fill() {
  pollfd p{read_, POLLIN, 0};
  if (poll(&p, 1, 60000) <= 0) return false;
  char buffer[kPipeSize];
  const ssize_t n = read(read_, buffer, sizeof buffer);
  if (n <= 0) return false;
  pending_.append(buffer, static_cast<size_t>(n));
  for (size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1))
    lines_.push_back(pending_.substr(0, end));
  return true;
}

std::string RefusedStart(int error) {
  return std::string(kNoService) + "StartService failure! Error = " + std::to_string(error) + " \n" +
         "Unable to install driver.\n" + "ControlService failed!  Error = 1062 \n" + kNoService;
}

void ExpectFailedStart(const RunResult &result, const Sandbox &box) {
  EXPECT_EQ(result.exitCode, 0) << result.err;
  ASSERT_EQ(result.lines.size(), 1u) << "the message box and no dialog";
  EXPECT_EQ(result.lines[0].dump(), kFailedBox);
  EXPECT_TRUE(result.trace.empty());
  EXPECT_FALSE(box.ServiceInstalled());
}

std::optional<std::pair<uid_t, gid_t>> Nobody() {
  const passwd *nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || nobody == nullptr) return std::nullopt;
  return std::make_pair(nobody->pw_uid, nobody->pw_gid);
}

std::optional<RunResult> RunAs(const Sandbox &box, std::pair<uid_t, gid_t> user, const std::string &machine,
                               const std::string &script, const std::map<std::string, std::string> &env) {
  constexpr int kCannotRunAsUser = 125;
  std::filesystem::permissions(box.Dir(), std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(user.second) != 0 || ::setuid(user.first) != 0 ||
        ::access((BuildDir() / "kelvorant").c_str(), X_OK) != 0 ||
        ::access((BuildDir() / "KELVORANT.sys").c_str(), R_OK) != 0)
      ::_exit(kCannotRunAsUser);
    ::_exit(box.Run(machine, script, env).exitCode & 0xff);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotRunAsUser) return std::nullopt;
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadText(box.Dir() / "stdout.txt");
  result.err = ReadText(box.Dir() / "stderr.txt");
  result.trace = Lines(ReadText(box.Dir() / "trace.txt"));
  for (const std::string &line : Lines(ReadText(box.Dir() / "dump.jsonl")))
    result.lines.push_back(nlohmann::ordered_json::parse(line));
  return result;
}

}  // namespace kvtest
