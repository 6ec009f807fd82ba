#include <pwd.h>
#include <unistd.h>

#include <cerrno>

#include "host_files.h"

namespace kvhost {

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

std::string DescribeFileType(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG: return "a regular file";
    case S_IFDIR: return "a folder";
    case S_IFIFO: return "a FIFO";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFSOCK: return "a socket";
    case S_IFLNK: return "a symbolic link";
    default: return "a file of unknown type";
  }
}

std::string DescribeUser(uid_t uid) {
  std::string text = "user " + std::to_string(uid);
  // getpwuid may read /etc/passwd; a name is only a help to the reader.
  if (const passwd *entry = ::getpwuid(uid); entry && entry->pw_name) text += std::string(" (") + entry->pw_name + ")";
  return text;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace kvhost
