// Whether a folder's files may be trusted: the test OpenSSH applies to the folders above its keys, with
// the sticky exception that lets a private folder live in /tmp; and a file in such a folder that the process
// takes for its own code.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host_files.h"

namespace kvhost {

namespace {

std::string OctalMode(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

std::string ParentOf(const std::string &path) {
  const size_t slash = path.find_last_of('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

}  // namespace

bool IsTrustedFolder(const std::string &folder, bool folder_may_be_sticky, std::string *why) {
  // Links resolved first: what must be trusted is the chain of folders the path really passes through.
  char *resolved = ::realpath(folder.c_str(), nullptr);
  if (!resolved) {
    *why = std::string("it cannot be resolved: ") + std::strerror(errno);
    return false;
  }
  std::string path = resolved;
  std::free(resolved);
  const uid_t self = ::geteuid();
  for (bool first = true;; first = false) {
    // Reasons speak of `folder` as "it", and name a folder above it.
    const std::string subject = first ? "it" : "the folder " + path + " above it";
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
      *why = subject + " cannot be examined: " + std::strerror(errno);
      return false;
    }
    if (!S_ISDIR(st.st_mode)) {
      *why = subject + " is " + DescribeFileType(st.st_mode) + ", not a folder";
      return false;
    }
    if (st.st_uid != self && st.st_uid != 0) {
      *why = subject + " belongs to " + DescribeUser(st.st_uid) + ", not to this process's user or root";
      return false;
    }
    const bool others_write = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    const bool sticky_allowed = !first || folder_may_be_sticky;
    if (others_write && !(sticky_allowed && (st.st_mode & S_ISVTX))) {
      *why = subject + " may be written by other users (mode " + OctalMode(st.st_mode) + ")";
      return false;
    }
    if (path == "/") return true;
    path = ParentOf(path);
  }
}

UniqueFd OpenTrustedFile(const std::string &path, std::string *why) {
  // Examined before it is opened, as an input is: opening a device or a FIFO can act or wait.
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    *why = errno == ENOENT ? std::string("is missing") : std::string("cannot be examined: ") + std::strerror(errno);
    return UniqueFd();
  }
  if (!S_ISREG(st.st_mode)) {
    *why = "is " + DescribeFileType(st.st_mode) + ", not a regular file";
    return UniqueFd();
  }
  if (st.st_uid != ::geteuid() && st.st_uid != 0) {
    *why = "belongs to " + DescribeUser(st.st_uid) + ", not to this process's user or root";
    return UniqueFd();
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *why = "may be written by other users (mode " + OctalMode(st.st_mode) + ")";
    return UniqueFd();
  }
  const std::string folder = ParentOf(path);
  std::string folder_why;
  if (!IsTrustedFolder(folder, false, &folder_why)) {
    *why = "lies in " + folder + ", which cannot be trusted: " + folder_why;
    return UniqueFd();
  }
  // The folder is trusted, so only this process's user or root could have changed the name since; the
  // file opened must still be the one examined.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat opened;
  if (!fd.valid() || ::fstat(fd.get(), &opened) != 0) {
    *why = std::string("cannot be opened: ") + std::strerror(errno);
    return UniqueFd();
  }
  if (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
    *why = "was replaced while it was examined";
    return UniqueFd();
  }
  return fd;
}

}  // namespace kvhost
