#include "linux/trace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kvsys {

TraceFile::~TraceFile() {
  if (fd_ >= 0) close(fd_);
}

bool TraceFile::Open(const std::string &path, std::string *why) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *why = "cannot open the trace file " + path + ": " + std::strerror(errno);
    return false;
  }
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
  return true;
}

void TraceFile::Append(const std::string &line) {
  if (fd_ < 0) return;
  const std::string text = line + "\n";
  ssize_t n;
  do {
    n = write(fd_, text.data(), text.size());
  } while (n < 0 && errno == EINTR);
}

}  // namespace kvsys
