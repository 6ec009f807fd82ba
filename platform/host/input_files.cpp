// Reading the files a run is given: regular files only, within bounds, every failed read an error.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host_files.h"
#include "opener.h"

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

UniqueFd OpenInput(const std::string &path, uint64_t max_bytes, std::string *why, struct stat *opened) {
  OpenFailure failure;
  struct stat st;
  UniqueFd fd = OpenPath(path, OpenFor::kInput, &failure, &st);
  if (!fd.valid()) {
    *why = failure.why;
    return UniqueFd();
  }
  if (static_cast<uint64_t>(st.st_size) > max_bytes) {
    *why = "is " + std::to_string(st.st_size) + " bytes long, more than the " + std::to_string(max_bytes) +
           " bytes that are read from such a file";
    return UniqueFd();
  }
  if (opened) *opened = st;
  return fd;
}

ReadEnd ReadAll(int fd, uint64_t max_bytes, std::string *text) {
  text->clear();
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ReadSome(fd, buffer, sizeof buffer);
    if (n < 0) return ReadEnd::kFailed;
    if (n == 0) return ReadEnd::kDone;
    // A size checked when the file was opened does not hold: a file can grow, and some (under /proc) say 0.
    if (text->size() + static_cast<size_t>(n) > max_bytes) return ReadEnd::kTooLong;
    text->append(buffer, static_cast<size_t>(n));
  }
}

bool ReadInput(const std::string &path, uint64_t max_bytes, std::string *text, std::string *why, struct stat *st) {
  UniqueFd fd = OpenInput(path, max_bytes, why, st);
  if (!fd.valid()) return false;
  switch (ReadAll(fd.get(), max_bytes, text)) {
    case ReadEnd::kDone:
      return true;
    case ReadEnd::kFailed:
      *why = std::string("cannot read: ") + std::strerror(errno);
      return false;
    case ReadEnd::kTooLong:
      *why = TooLong(max_bytes);
      return false;
  }
  return false;
}

}  // namespace kvhost
