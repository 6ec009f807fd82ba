#include "termination.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

namespace kvhost {

namespace {

constexpr int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the handler touches: a lock-free atomic and a write to a pipe, both safe in a signal handler.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
int g_wake[2] = {-1, -1};  // the self-pipe: read end, write end

void RecordSignal(int signal) {
  const int saved = errno;
  int none = 0;
  g_signal.compare_exchange_strong(none, signal);  // the first one is the one that ends the run
  const char byte = 0;
  // Non-blocking: when the pipe is full it is readable already, and the byte is not needed.
  const ssize_t ignored = ::write(g_wake[1], &byte, 1);
  (void)ignored;
  errno = saved;
}

// Moves a descriptor above the standard ones: were 0, 1 or 2 closed when the process started, the pipe
// would otherwise take its number and receive what the program prints.
int AboveStandard(int fd) {
  if (fd > STDERR_FILENO) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int error = errno;
  ::close(fd);
  errno = error;
  return moved;
}

}  // namespace

bool CatchTerminationSignals() {
  if (g_wake[0] >= 0) return true;
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return false;
  g_wake[0] = AboveStandard(fds[0]);
  g_wake[1] = AboveStandard(fds[1]);
  if (g_wake[0] < 0 || g_wake[1] < 0) return false;

  struct sigaction record = {};
  record.sa_handler = RecordSignal;
  record.sa_flags = SA_RESTART;
  sigemptyset(&record.sa_mask);
  for (int signal : kTerminationSignals) sigaddset(&record.sa_mask, signal);
  for (int signal : kTerminationSignals) {
    struct sigaction old = {};
    if (::sigaction(signal, nullptr, &old) != 0) return false;
    if (old.sa_handler == SIG_IGN) continue;
    if (::sigaction(signal, &record, nullptr) != 0) return false;
  }
  // A write to a pipe that nobody reads, or past the file size limit (ulimit -f), fails with EPIPE or EFBIG
  // instead of ending the process, and is reported as every failed write is.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  return ::sigaction(SIGPIPE, &ignore, nullptr) == 0 && ::sigaction(SIGXFSZ, &ignore, nullptr) == 0;
}

int TerminationSignal() { return g_signal.load(); }

int TerminationFd() { return g_wake[0]; }

bool SleepUnlessSignalled(int milliseconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (TerminationSignal() != 0) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return true;
    // Without the pipe (fd -1), poll ignores the entry and only waits.
    pollfd wake = {g_wake[0], POLLIN, 0};
    ::poll(&wake, 1, static_cast<int>(left));
  }
}

const char *TerminationSignalName(int signal) {
  switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

void RaiseWithDefaultAction(int signal) {
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  // cppcheck-suppress unreachableCode ; cppcheck 2.10 takes raise() for a function that never returns
  ::_exit(128 + signal);  // not reached: the default action of these signals ends the process
}

}  // namespace kvhost
