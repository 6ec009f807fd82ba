// The files and folders a run is given, opened the way a program that runs as root must open them. Every
// path comes from the environment or from a file that someone else may have written, so:
//  - an input is a regular file: a FIFO, a socket or a device would block, never end, or act when opened
//    (so it is not even opened), and it is read within the bounds of read_limits.h;
//  - an output is a regular file, a character device (/dev/null, a terminal) or a FIFO that a process
//    reads; a symbolic link in its place is followed only when it belongs to this process's user or root,
//    as the kernel's protected_symlinks rule does in sticky folders such as /tmp;
//  - a folder whose files are trusted belongs, with every folder above it, to this process's user or root,
//    and no other user may write it (a sticky folder above it, such as /tmp, may be written: there only an
//    entry's owner can rename or remove it);
//  - a file that the process runs as its own code (a library) is a regular file reached without a link,
//    belonging to this process's user or root, which no other user may write, in such a folder.
// A reason given in *why is the part of a message after the path: "is a FIFO, not a regular file".
#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvhost {

// A file descriptor, closed with its owner.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
  UniqueFd &operator=(UniqueFd &&other) noexcept;
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

// What a file is, for messages: "a FIFO", "a folder", "a character device", ...
std::string DescribeFileType(mode_t mode);

// "user 65534 (nobody)"
std::string DescribeUser(uid_t uid);

// Opens an existing regular file for reading. Its type is known before the open (opening a device can
// itself act, a FIFO waits for a writer) and checked again after it. *st is what the name is; on a failure
// it is zero when errno says why, else it is no regular file and st_mode says what.
UniqueFd OpenRegularFile(const std::string &path, struct stat *st);
// Opens a regular file of at most `max_bytes` for reading.
UniqueFd OpenInput(const std::string &path, uint64_t max_bytes, std::string *why);

// Reads an open file to its end, at most `max_bytes`: kFailed with errno set when a read fails, kTooLong
// when there is more.
enum class ReadEnd { kDone, kFailed, kTooLong };
ReadEnd ReadAll(int fd, uint64_t max_bytes, std::string *text);
// Reads a regular file of at most `max_bytes` whole.
bool ReadInput(const std::string &path, uint64_t max_bytes, std::string *text, std::string *why);

// Opens an output for writing, created (mode 0666 less the umask) when it is missing and never truncated
// here: the caller decides when its old content goes. With `append`, every write goes to its end.
UniqueFd OpenOutput(const std::string &path, bool append, std::string *why);

// Writes all of `data`; false with errno set when a write fails.
bool WriteAll(int fd, std::string_view data);

// The identity of a file, through links; nothing when it does not exist.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId &) const = default;
};
std::optional<FileId> IdOfPath(const std::string &path);

// Whether `folder` and every folder above it (after links are resolved) belong to this process's user or
// root and may be written by no other user; a folder above `folder` may when it is sticky, and so may
// `folder` itself when `folder_may_be_sticky`. A reason speaks of `folder` as "it": "it belongs to user 1000
// (ann), not to this process's user or root", "the folder /tmp/x above it may be written by other users
// (mode 0777)".
bool IsTrustedFolder(const std::string &folder, bool folder_may_be_sticky, std::string *why);

// Opens, for reading, a file whose content this process takes for its own code (a library it loads): a
// regular file, not reached through a link, belonging to this process's user or root and writable by no
// other user, in a folder that IsTrustedFolder trusts (not sticky), so that no other user can replace it
// between the check and its use. `path` is absolute. A reason follows the path: "is missing", "may be
// written by other users (mode 0666)", "lies in /x, which cannot be trusted: it belongs to ...".
UniqueFd OpenTrustedFile(const std::string &path, std::string *why);

}  // namespace kvhost
