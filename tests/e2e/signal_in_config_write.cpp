// Preloaded into kelvorant by the signal tests (LD_PRELOAD): the k-th pwrite to a file named `config`
// (KV_SIGTERM_AT_CONFIG_WRITE=k, counted from 1) raises SIGTERM inside the write, and then fails with EINTR
// having written nothing, as a write that a signal cuts does. So a signal lands between two register writes
// of a restore at a place the test chooses.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using PwriteFn = ssize_t (*)(int, const void *, size_t, off_t);

bool IsConfigFile(int fd) {
  char target[4096];
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
  if (n <= 0) return false;
  target[n] = '\0';
  const char *slash = std::strrchr(target, '/');
  return std::strcmp(slash ? slash + 1 : target, "config") == 0;
}

PwriteFn Next(const char *name) { return reinterpret_cast<PwriteFn>(::dlsym(RTLD_NEXT, name)); }

ssize_t Write(PwriteFn next, int fd, const void *buffer, size_t length, off_t offset) {
  static std::atomic<long> writes{0};
  static const char *at = std::getenv("KV_SIGTERM_AT_CONFIG_WRITE");
  if (at && IsConfigFile(fd) && ++writes == std::atol(at)) {
    ::raise(SIGTERM);  // the program's handler records it and returns
    // cppcheck-suppress unreachableCode ; cppcheck 2.10 takes raise() for a function that never returns
    errno = EINTR;
    return -1;
  }
  return next(fd, buffer, length, offset);
}

}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): glibc's names are reserved ones
extern "C" ssize_t pwrite(int fd, const void *buffer, size_t length, off_t offset) {
  static const PwriteFn next = Next("pwrite");
  return Write(next, fd, buffer, length, offset);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): as above
extern "C" ssize_t pwrite64(int fd, const void *buffer, size_t length, off_t offset) {
  static const PwriteFn next = Next("pwrite64");
  return Write(next, fd, buffer, length, offset);
}
