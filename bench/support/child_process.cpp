#include "child_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace kvbench {

namespace {

bool Redirect(const std::string &path, int fd) {
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  return file >= 0 && dup2(file, fd) == fd;
}

}  // namespace

ChildRun RunChild(const ChildCommand &command) {
  ChildRun run;
  if (command.argv.empty()) return run;
  // Everything the child needs is built before the clock starts.
  std::vector<char *> argv;
  for (const std::string &arg : command.argv) argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  std::fflush(stdout);  // the child must not write out the parent's buffered lines again
  std::fflush(stderr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (!command.folder.empty() && chdir(command.folder.c_str()) != 0) _exit(126);
    for (const auto &[name, value] : command.env)
      value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    if (!Redirect(command.out, STDOUT_FILENO)) _exit(126);
    if (!command.err.empty() && !Redirect(command.err, STDERR_FILENO)) _exit(126);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  rusage usage{};
  int status = 0;
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return run;
  run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.megabytes = usage.ru_maxrss / 1024.0;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace kvbench
