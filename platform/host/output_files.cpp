// Opening the files a run writes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host_files.h"

namespace kvhost {

UniqueFd OpenOutput(const std::string &path, bool append, std::string *why) {
  // A link in place of the file is followed only when this process's user or root made it: a link that
  // another user left in /tmp under the name would send root's writes wherever that user wished.
  bool follow = false;
  struct stat link;
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (link.st_uid != ::geteuid() && link.st_uid != 0) {
      *why = "is a symbolic link that belongs to " + DescribeUser(link.st_uid) + ", and is not followed";
      return UniqueFd();
    }
    follow = true;
  }
  // O_NONBLOCK: a FIFO that no process reads fails at once (ENXIO) instead of waiting for a reader.
  const int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (append ? O_APPEND : 0) |
                    (follow ? 0 : O_NOFOLLOW);
  UniqueFd fd(::open(path.c_str(), flags, 0666));
  if (!fd.valid()) {
    const int error = errno;
    if (error == ENXIO) {
      *why = "is a FIFO that no process reads";
    } else if (error == ELOOP) {
      *why = "became a symbolic link while it was opened, and is not followed";
    } else {
      *why = std::string("cannot open: ") + std::strerror(error);
    }
    return UniqueFd();
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    *why = std::string("cannot open: ") + std::strerror(errno);
    return UniqueFd();
  }
  if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode)) {
    *why = "is " + DescribeFileType(st.st_mode) + ", not a file to write";
    return UniqueFd();
  }
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace kvhost
