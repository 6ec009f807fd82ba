// Reading the files a run is given: regular files only, within bounds, every failed read an error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host_files.h"

namespace kvhost {

namespace {

std::string TooLong(uint64_t max_bytes) {
  return "is longer than the " + std::to_string(max_bytes) + " bytes that are read from such a file";
}

// A read() that is retried when a signal interrupts it; -1 with errno on failure.
ssize_t ReadSome(int fd, char *buffer, size_t size) {
  ssize_t n;
  do {
    n = ::read(fd, buffer, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

UniqueFd OpenInput(const std::string &path, uint64_t max_bytes, std::string *why) {
  // The type is known before the file is opened: opening a device can itself act (a tape rewinds, a
  // watchdog starts), and opening a FIFO waits for a writer.
  struct stat before;
  if (::stat(path.c_str(), &before) != 0) {
    *why = std::string("cannot open: ") + std::strerror(errno);
    return UniqueFd();
  }
  if (!S_ISREG(before.st_mode)) {
    *why = "is " + DescribeFileType(before.st_mode) + ", not a regular file";
    return UniqueFd();
  }
  // O_NONBLOCK: should the name have become a FIFO since, the open does not wait.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat after;
  if (!fd.valid() || ::fstat(fd.get(), &after) != 0) {
    *why = std::string("cannot open: ") + std::strerror(errno);
    return UniqueFd();
  }
  if (!S_ISREG(after.st_mode)) {
    *why = "is " + DescribeFileType(after.st_mode) + ", not a regular file";
    return UniqueFd();
  }
  if (static_cast<uint64_t>(after.st_size) > max_bytes) {
    *why = "is " + std::to_string(after.st_size) + " bytes long, more than the " + std::to_string(max_bytes) +
           " bytes that are read from such a file";
    return UniqueFd();
  }
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool ReadInput(const std::string &path, uint64_t max_bytes, std::string *text, std::string *why) {
  UniqueFd fd = OpenInput(path, max_bytes, why);
  if (!fd.valid()) return false;
  text->clear();
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ReadSome(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      *why = std::string("cannot read: ") + std::strerror(errno);
      return false;
    }
    if (n == 0) return true;
    // The size was checked when the file was opened, but a file can grow, and some (under /proc) say 0.
    if (text->size() + static_cast<size_t>(n) > max_bytes) {
      *why = TooLong(max_bytes);
      return false;
    }
    text->append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace kvhost
