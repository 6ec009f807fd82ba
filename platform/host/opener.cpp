// The one opener (opener.h): a path resolved a component at a time from folder descriptors, each component
// examined through an O_PATH descriptor before anything is opened for use; and reading the files a run is
// given (regular files only, within bounds, every failed read an error) and opening those it writes.
#include "opener.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

namespace kvhost {

namespace {

constexpr int kMaxLinks = 40;      // as the kernel's MAXSYMLINKS
constexpr int kMaxRetries = 8;     // an entry that keeps appearing and vanishing while it is created
constexpr int kCommonFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

struct Output {
  dev_t device;
  ino_t inode;
  std::string what, variable;
};

std::vector<Output> &Outputs() {
  static auto *outputs = new std::vector<Output>;  // read until the process ends
  return *outputs;
}

const Output *OutputOf(const struct stat &st) {
  for (const Output &out : Outputs())
    if (out.device == st.st_dev && out.inode == st.st_ino) return &out;
  return nullptr;
}

// "user 65534 (nobody)"
std::string DescribeUser(uid_t uid) {
  std::string text = "user " + std::to_string(uid);
  // getpwuid may read /etc/passwd; a name is only a help to the reader.
  if (const passwd *entry = ::getpwuid(uid); entry && entry->pw_name) text += std::string(" (") + entry->pw_name + ")";
  return text;
}

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

bool OwnedByUs(const struct stat &st) { return st.st_uid == 0 || st.st_uid == ::geteuid(); }
bool OthersMayWrite(const struct stat &st) { return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

std::string NotOurs(const struct stat &st) {
  return "belongs to " + DescribeUser(st.st_uid) + ", not to this process's user or root";
}

// Puts the components of a path, in order, before *names; "" and "." left out.
void PrependComponents(const std::string &path, std::deque<std::string> *names) {
  std::vector<std::string> parts;
  for (size_t at = 0; at <= path.size();) {
    const size_t slash = std::min(path.find('/', at), path.size());
    if (slash > at && path.compare(at, slash - at, ".") != 0) parts.push_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  names->insert(names->begin(), parts.begin(), parts.end());
}

bool IsFolderPurpose(OpenFor purpose) { return purpose == OpenFor::kFolder || purpose == OpenFor::kNewFolder; }
bool IsWritePurpose(OpenFor purpose) { return purpose == OpenFor::kOutput || purpose == OpenFor::kAppend; }

// The kernel's interface that an open file belongs to ("sysfs"), or null for a file system that keeps files.
// What is written there acts: a function's configuration space, /proc/sysrq-trigger, a firmware variable.
const char *KernelInterface(int fd) {
  struct statfs fs;
  if (::fstatfs(fd, &fs) != 0) return nullptr;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case SYSFS_MAGIC: return "sysfs";
    case PROC_SUPER_MAGIC: return "procfs";
    case DEBUGFS_MAGIC: return "debugfs";
    case TRACEFS_MAGIC: return "tracefs";
    case SECURITYFS_MAGIC: return "securityfs";
    case EFIVARFS_MAGIC: return "efivarfs";
    case CGROUP_SUPER_MAGIC: case CGROUP2_SUPER_MAGIC: return "cgroup";
    case BPF_FS_MAGIC: return "bpf";
    default: return nullptr;
  }
}

// What the object must be, checked on its O_PATH descriptor; empty when it fits.
std::string WrongType(OpenFor purpose, mode_t mode) {
  if (IsFolderPurpose(purpose)) return S_ISDIR(mode) ? "" : "is " + DescribeFileType(mode) + ", not a folder";
  if (IsWritePurpose(purpose))
    return S_ISREG(mode) || S_ISCHR(mode) || S_ISFIFO(mode) ? "" : "is " + DescribeFileType(mode) + ", not a file to write";
  return S_ISREG(mode) ? "" : "is " + DescribeFileType(mode) + ", not a regular file";
}

int AccessFlags(OpenFor purpose) {
  switch (purpose) {
    case OpenFor::kInput:
    case OpenFor::kIdentity: return O_RDONLY;
    case OpenFor::kOutput: return O_WRONLY;
    case OpenFor::kAppend: return O_WRONLY | O_APPEND;
    case OpenFor::kConfig: return O_RDWR;
    case OpenFor::kFolder:
    case OpenFor::kNewFolder: break;
  }
  return O_RDONLY | O_DIRECTORY;
}

}  // namespace

// A folder of a walk: held open by the walk, or borrowed from its caller.
struct WalkFolder {
  UniqueFd owned;
  int fd = -1;
  std::string path;  // as resolved, for messages; "" for the root
};

namespace {

// Whether a walk's folder is this process's /proc/<pid>/fd, or its thread's, where /dev/fd and /proc/self/fd lead.
bool IsOwnDescriptorFolder(const WalkFolder &folder) {
  const std::string process = "/proc/" + std::to_string(::getpid());
  struct statfs fs;
  return (folder.path == process + "/fd" || folder.path == process + "/task/" + std::to_string(::gettid()) + "/fd") &&
         ::fstatfs(folder.fd, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

class Walk {
 public:
  Walk(OpenFor purpose, OpenFailure *failure) : purpose_(purpose), failure_(failure) {}

  // Walks to a folder and keeps it, with the folders above it, in *chain.
  bool ChainTo(const std::string &path, std::vector<WalkFolder> *chain) {
    struct stat st;
    UniqueFd end = FromRoot(path, &st);
    if (!end.valid()) return false;
    chain->clear();
    for (WalkFolder &folder : folders_) {
      // A folder reached through "..", which the walk borrowed.
      if (!folder.owned.valid()) folder.owned = UniqueFd(::fcntl(folder.fd, F_DUPFD_CLOEXEC, 0));
      chain->push_back({std::move(folder.owned), folder.fd, folder.path});
    }
    const int fd = end.get();
    chain->push_back({std::move(end), fd, objectPath_});
    return true;
  }

  // Resolves a path below the last folder of a chain, which it borrows.
  UniqueFd Below(const std::vector<WalkFolder> &chain, const std::string &relative, struct stat *st) {
    for (const WalkFolder &folder : chain) folders_.push_back({UniqueFd(), folder.fd, folder.path});
    std::deque<std::string> names;
    PrependComponents(relative, &names);
    if (names.empty() || relative[0] == '/') return Fail(EINVAL, false);
    return Resolve(std::move(names), purpose_ != OpenFor::kConfig, st);
  }

  UniqueFd FromRoot(const std::string &path, struct stat *st) {
    std::deque<std::string> names;
    std::string absolute = path;
    if (path.empty()) return Fail(ENOENT, false);
    if (path[0] != '/') {
      char *cwd = ::getcwd(nullptr, 0);
      if (!cwd) {
        failure_->why = "cannot be found: the current folder has no name (" + ErrnoReason(errno) + ")";
        failure_->error = errno;
        return UniqueFd();
      }
      absolute = std::string(cwd) + "/" + path;
      std::free(cwd);
    }
    PrependComponents(absolute, &names);
    UniqueFd root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat rootSt;
    if (!root.valid() || ::fstat(root.get(), &rootSt) != 0) return Fail(errno, true);
    if (names.empty()) return Finish(std::move(root), rootSt, -1, "/", st);
    if (!TrustFolderOnTheWay(rootSt, "/")) return UniqueFd();
    const int rootFd = root.get();
    folders_.push_back({std::move(root), rootFd, ""});
    // The kernel's sysfs never puts a link where a function's config file is: one there is refused.
    return Resolve(std::move(names), purpose_ != OpenFor::kConfig, st);
  }

  UniqueFd InFolder(int folder, const std::string &name, struct stat *st) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return Fail(EINVAL, false);
    folders_.push_back({UniqueFd(), folder, ""});
    return Resolve(std::deque<std::string>{name}, false, st);
  }

 private:
  UniqueFd Fail(int error, bool onTheWay) {
    failure_->error = error;
    failure_->missingFolder = onTheWay && (error == ENOENT || error == ENOTDIR);
    failure_->why = "cannot open: " + ErrnoReason(error);
    return UniqueFd();
  }

  UniqueFd Refuse(std::string why, bool untrusted = true) {
    failure_->why = std::move(why);
    failure_->untrusted = untrusted;
    return UniqueFd();
  }

  bool TrustFolderOnTheWay(const struct stat &st, const std::string &path) {
    if (!OwnedByUs(st)) {
      Refuse("lies under " + path + ", which " + NotOurs(st));
      return false;
    }
    // A sticky folder may be written by others: there only an entry's owner removes or renames it, and every
    // entry below is checked for its own owner.
    if (OthersMayWrite(st) && !(st.st_mode & S_ISVTX)) {
      Refuse("lies under " + path + ", which may be written by other users (mode " + Octal(st.st_mode) + ")");
      return false;
    }
    return true;
  }

  UniqueFd Resolve(std::deque<std::string> names, bool followLast, struct stat *st) {
    int links = 0, retries = 0;
    while (!names.empty()) {
      const std::string name = names.front();
      names.pop_front();
      if (name == "..") {
        if (folders_.size() > 1) folders_.pop_back();
        continue;
      }
      const bool last = names.empty();
      WalkFolder &here = folders_.back();
      const std::string path = here.path + "/" + name;
      UniqueFd fd(::openat(here.fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
      if (!fd.valid()) {
        const int error = errno;
        // cppcheck-suppress knownConditionTrueFalse ; true for every caller but InFolder's one name
        if (last && error == ENOENT && Create(here.fd, name) && ++retries < kMaxRetries) {
          names.push_front(name);
          continue;
        }
        if (failure_->error || !failure_->why.empty()) return UniqueFd();  // the creation said why
        return Fail(error, !last);
      }
      struct stat object;
      if (::fstat(fd.get(), &object) != 0) return Fail(errno, !last);
      if (S_ISLNK(object.st_mode)) {
        if (!OwnedByUs(object)) {
          return Refuse(last ? "is a symbolic link that belongs to " + DescribeUser(object.st_uid) + ", and is not followed"
                             : "is reached through the link " + path + ", which belongs to " +
                                   DescribeUser(object.st_uid) + ", and is not followed");
        }
        if (last && !followLast) {
          failure_->type = S_IFLNK;
          return Refuse("is a symbolic link, and is not followed", false);
        }
        // A link of this process's /proc/<pid>/fd is one of its descriptors, whose text ("pipe:[4026]", a file
        // renamed since) is no path: an output named so (/dev/stdout, /dev/fd/3) is the descriptor itself.
        if (last && IsWritePurpose(purpose_) && IsOwnDescriptorFolder(here)) return Descriptor(name, path, st);
        if (++links > kMaxLinks) return Fail(ELOOP, !last);
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(fd.get(), "", target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return Fail(n < 0 ? errno : ENAMETOOLONG, !last);
        target.resize(static_cast<size_t>(n));
        if (target[0] == '/') folders_.resize(1);
        PrependComponents(target, &names);
        continue;
      }
      if (!last) {
        if (!S_ISDIR(object.st_mode)) return Fail(ENOTDIR, true);
        if (!TrustFolderOnTheWay(object, path)) return UniqueFd();
        // The descriptor examined is the folder the walk goes on from.
        const int folderFd = fd.get();
        folders_.push_back({std::move(fd), folderFd, path});
        continue;
      }
      objectPath_ = path;
      return Finish(std::move(fd), object, here.fd, name, st);
    }
    // The path ends in a folder reached through ".." or a link to one: the folder itself is the object.
    WalkFolder &end = folders_.back();
    struct stat object;
    if (::fstat(end.fd, &object) != 0) return Fail(errno, false);
    objectPath_ = end.path;
    return Finish(UniqueFd(::fcntl(end.fd, F_DUPFD_CLOEXEC, 0)), object, -1, end.path.empty() ? "/" : end.path, st);
  }

  // Descriptor `name` of this process as an output: a duplicate, which writes where the descriptor writes (its
  // file position, the O_APPEND of a shell's >>). It is examined as an output opened by name is, but for its
  // owner: the run was given it.
  UniqueFd Descriptor(const std::string &name, const std::string &path, struct stat *st) {
    int number = -1;
    const char *end = name.data() + name.size();
    const auto [next, error] = std::from_chars(name.data(), end, number);
    if (error != std::errc() || next != end) return Fail(ENOENT, false);
    // Only one that the run was given: each descriptor the process opens itself is close-on-exec.
    const int given = ::fcntl(number, F_GETFD), flags = ::fcntl(number, F_GETFL);
    if (given < 0 || (given & FD_CLOEXEC) || flags < 0) return Fail(EBADF, false);
    struct stat object;
    if (::fstat(number, &object) != 0) return Fail(errno, false);
    if (const std::string wrong = WrongType(purpose_, object.st_mode); !wrong.empty() && !S_ISSOCK(object.st_mode)) {
      failure_->type = object.st_mode & S_IFMT;
      return Refuse(wrong, false);
    }
    if ((flags & O_ACCMODE) == O_RDONLY) return Refuse("is a descriptor that is open for reading only", false);
    if (const char *system = S_ISREG(object.st_mode) ? KernelInterface(number) : nullptr)
      return Refuse(std::string("is a file of the kernel's ") + system + ", not a file to write to");
    UniqueFd fd(::fcntl(number, F_DUPFD_CLOEXEC, 0));
    if (!fd.valid()) return Fail(errno, false);
    failure_->descriptor = true;
    objectPath_ = path;
    if (st) *st = object;
    return fd;
  }

  // Makes a missing object where the purpose asks for it; false when nothing was made (after saying why,
  // when the making failed).
  bool Create(int folder, const std::string &name) {
    bool made = false;
    if (purpose_ == OpenFor::kNewFolder) {
      made = ::mkdirat(folder, name.c_str(), 0700) == 0;
    } else if (IsWritePurpose(purpose_)) {
      // A new file is this process's, and no other user writes it (a umask may take more away).
      made = UniqueFd(::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | kCommonFlags, 0644)).valid();
    } else {
      return false;
    }
    if (made || errno == EEXIST) {  // EEXIST: made by another meanwhile, and examined as any other
      failure_->created = failure_->created || made;
      return true;
    }
    failure_->error = errno;
    failure_->why = "cannot be made: " + ErrnoReason(errno);
    return false;
  }

  // The object at the end, examined through `pathFd`; `folder` and `name` open it for use (folder -1: reopen
  // the folder descriptor itself).
  UniqueFd Finish(UniqueFd pathFd, const struct stat &object, int folder, const std::string &name, struct stat *st) {
    if (const std::string wrong = WrongType(purpose_, object.st_mode); !wrong.empty()) {
      failure_->type = object.st_mode & S_IFMT;
      return Refuse(wrong, false);
    }
    if (!OwnedByUs(object)) return Refuse(NotOurs(object));
    // A device's mode says who may use it, not who may change what the name is.
    if (OthersMayWrite(object) && !S_ISCHR(object.st_mode))
      return Refuse("may be written by other users (mode " + Octal(object.st_mode) + ")");
    if (IsWritePurpose(purpose_) && S_ISREG(object.st_mode)) {
      if (const char *system = KernelInterface(pathFd.get()))
        return Refuse(std::string("is a file of the kernel's ") + system + ", not a file to write to");
    }

    if (purpose_ == OpenFor::kIdentity) {
      if (st) *st = object;
      return pathFd;
    }
    const int access = AccessFlags(purpose_);
    UniqueFd fd;
    if (folder < 0) {
      fd = UniqueFd(::openat(pathFd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    } else {
      fd = UniqueFd(::openat(folder, name.c_str(), access | kCommonFlags));
      if (!fd.valid() && purpose_ == OpenFor::kConfig && (errno == EACCES || errno == EPERM || errno == EROFS))
        fd = UniqueFd(::openat(folder, name.c_str(), O_RDONLY | kCommonFlags));
    }
    if (!fd.valid()) {
      if (errno == ENXIO && S_ISFIFO(object.st_mode)) return Refuse("is a FIFO that no process reads", false);
      if (errno == ELOOP) return Refuse("became a symbolic link while it was opened, and is not followed");
      return Fail(errno, false);
    }
    struct stat opened;
    if (::fstat(fd.get(), &opened) != 0) return Fail(errno, false);
    if (opened.st_dev != object.st_dev || opened.st_ino != object.st_ino) return Refuse("was replaced while it was opened");
    // Only a FIFO heeds O_NONBLOCK once it is open: its writes wait for the reader again.
    if (S_ISFIFO(opened.st_mode)) ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    if (!IsWritePurpose(purpose_) && !IsFolderPurpose(purpose_)) {
      if (const Output *out = OutputOf(opened)) {
        failure_->isOutput = true;
        return Refuse("is " + out->what + " (" + out->variable + ")", false);
      }
    }
    if (st) *st = opened;
    return fd;
  }

  OpenFor purpose_;
  OpenFailure *failure_;
  std::vector<WalkFolder> folders_;
  std::string objectPath_;  // the object's path as resolved ("" for the root)
};

}  // namespace

UniqueFd OpenPath(const std::string &path, OpenFor purpose, OpenFailure *failure, struct stat *st) {
  *failure = OpenFailure{};
  return Walk(purpose, failure).FromRoot(path, st);
}

UniqueFd OpenInFolder(int folder, const std::string &name, OpenFor purpose, OpenFailure *failure, struct stat *st) {
  *failure = OpenFailure{};
  return Walk(purpose, failure).InFolder(folder, name, st);
}

ResolvedFolder::ResolvedFolder() = default;
ResolvedFolder::~ResolvedFolder() = default;

bool ResolvedFolder::Open(const std::string &path, OpenFailure *failure) {
  *failure = OpenFailure{};
  return Walk(OpenFor::kFolder, failure).ChainTo(path, &chain_);
}

int ResolvedFolder::fd() const { return chain_.empty() ? -1 : chain_.back().fd; }

UniqueFd ResolvedFolder::OpenBelow(const std::string &relative, OpenFor purpose, OpenFailure *failure,
                                   struct stat *st) const {
  *failure = OpenFailure{};
  if (chain_.empty()) {
    failure->error = EBADF;
    failure->why = "cannot open: " + ErrnoReason(EBADF);
    return UniqueFd();
  }
  return Walk(purpose, failure).Below(chain_, relative, st);
}

void RegisterOutput(const struct stat &st, const std::string &what, const std::string &variable) {
  Outputs().push_back({st.st_dev, st.st_ino, what, variable});
}

std::string OutputName(const struct stat &st) {
  const Output *out = OutputOf(st);
  return out ? out->what : "";
}

std::string ErrnoReason(int error) {
  if (error == EMFILE) {
    struct rlimit limit {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    return "this process has no file descriptor left (it may have " + std::to_string(limit.rlim_cur) +
           " open: ulimit -n)";
  }
  if (error == ENFILE) return "the system has no file descriptor left (fs.file-max)";
  return std::strerror(error);
}

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

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

ReadEnd ReadAll(int fd, uint64_t max_bytes, std::string *text) {
  text->clear();
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ReadEnd::kFailed;
    if (n == 0) return ReadEnd::kDone;
    // A size checked when the file was opened does not hold: a file can grow, and some (under /proc) say 0.
    if (text->size() + static_cast<size_t>(n) > max_bytes) return ReadEnd::kTooLong;
    text->append(buffer, static_cast<size_t>(n));
  }
}

bool ReadInput(const std::string &path, uint64_t max_bytes, std::string *text, std::string *why, struct stat *st) {
  OpenFailure failure;
  struct stat opened;
  UniqueFd fd = OpenPath(path, OpenFor::kInput, &failure, &opened);
  if (!fd.valid()) {
    *why = failure.why;
    return false;
  }
  const std::string bound = std::to_string(max_bytes) + " bytes that are read from such a file";
  if (static_cast<uint64_t>(opened.st_size) > max_bytes) {
    *why = "is " + std::to_string(opened.st_size) + " bytes long, more than the " + bound;
    return false;
  }
  if (st) *st = opened;
  switch (ReadAll(fd.get(), max_bytes, text)) {
    case ReadEnd::kDone:
      return true;
    case ReadEnd::kFailed:
      *why = std::string("cannot read: ") + std::strerror(errno);
      return false;
    case ReadEnd::kTooLong:
      *why = "is longer than the " + bound;
      return false;
  }
  return false;
}

}  // namespace kvhost
