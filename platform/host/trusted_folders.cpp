// Whether a folder's files may be trusted: the test OpenSSH applies to the folders above its keys, with
// the sticky exception that lets a private folder live in /tmp.
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

}  // namespace kvhost
