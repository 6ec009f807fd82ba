// The one way the platform opens a file or folder by name. kelvorant starts as root, and every path it is
// given (a variable, a service record, the current directory) may have been prepared by another user, so a
// path is trusted only when no other user can have changed any part of it:
//  - it is resolved a component at a time, each from the descriptor of the folder before it, never
//    following a link by itself; a link is followed only when it belongs to root or to this process's
//    user, and its target is resolved the same way;
//  - every component (the folders on the way, the links and the object at the end) belongs to root or to
//    this process's user, and no other user may write it; a folder on the way may be written by others when
//    it is sticky, as /tmp is: there only an entry's owner may remove or replace it;
//  - the object checked is the object opened: its identity is taken before the open and compared after;
//  - what the object must be is checked before it is opened (opening a FIFO waits, opening a device can
//    act), and every open is non-blocking.
// A relative path is taken from the current directory, whose folders are checked as every other. The files
// that a run reads and writes go through it too.
#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Reads an open file to its end, at most `max_bytes`: kFailed with errno set when a read fails, kTooLong
// when there is more.
enum class ReadEnd { kDone, kFailed, kTooLong };
ReadEnd ReadAll(int fd, uint64_t max_bytes, std::string *text);
// Reads a regular file of at most `max_bytes` whole.
bool ReadInput(const std::string &path, uint64_t max_bytes, std::string *text, std::string *why,
               struct stat *st = nullptr);

// Writes all of `data`; false with errno set when a write fails.
bool WriteAll(int fd, std::string_view data);

// How much the platform reads from the files a run is given. Every reader stops at its bound with a message,
// so that no file, however long or endless, makes kelvorant grow without limit. The driver's bounds for the
// machine's files are its own (kelvorant_sys/core/read_limits.h).
// An automation script: some 50,000 actions.
constexpr uint64_t kMaxScriptBytes = uint64_t{1} << 20;

// A record of the service database.
constexpr uint64_t kMaxServiceRecordBytes = uint64_t{64} * 1024;

// What a path is opened for.
enum class OpenFor {
  kInput,      // an existing regular file, read (a dump, a machine file, a script, a driver module, a library)
  kOutput,     // written from its start; created when missing; a regular file, a character device or a FIFO
               // that a process reads; it is not truncated here (its caller decides when its old content goes).
               // A descriptor of this process named by its link (/dev/stdout, /dev/fd/3) is that descriptor
  kAppend,     // the same, every write at the end
  kConfig,     // an existing regular file, read and written where this process may write it, else read only;
               // a link in its place is not followed (a function's config file in sysfs)
  kIdentity,   // an existing regular file whose identity is wanted, not its content: examined as an input is,
               // but only reached (O_PATH), so it is neither opened nor read
  kFolder,     // an existing folder, for listing it and opening what is in it
  kNewFolder,  // the same, made (mode 0700) when it is missing
};

// Why an open failed. `why` is the part of a message that follows the path: "is a FIFO, not a regular
// file", "cannot be trusted: the folder /tmp/x above it belongs to user 1000 (ann), not to this process's
// user or root".
struct OpenFailure {
  bool created = false;      // (also on success) the object did not exist and was made
  std::string why;
  int error = 0;             // the errno of a failed call, when one failed (ENOENT, EACCES, EMFILE, ...)
  bool missingFolder = false;  // ENOENT or ENOTDIR came from a folder on the way, not from the object
  mode_t type = 0;           // what the object is, when it is not what OpenFor asks for
  bool untrusted = false;    // another user could have changed it (an owner, a mode, a link)
  bool isOutput = false;     // an input that is one of the run's outputs (RegisterOutput)
  bool descriptor = false;   // (on success) the path named a descriptor of this process, which was duplicated
};

// Opens `path` for `purpose`. Invalid, with *failure filled, when it cannot be opened or trusted; *st is
// what was opened.
UniqueFd OpenPath(const std::string &path, OpenFor purpose, OpenFailure *failure, struct stat *st = nullptr);

// Opens one entry of a folder that OpenPath opened (kFolder), by the same rules; a link is not followed.
UniqueFd OpenInFolder(int folder, const std::string &name, OpenFor purpose, OpenFailure *failure,
                      struct stat *st = nullptr);

struct WalkFolder;

// A folder that the opener reached (as kFolder), held open with the folders above it, so that paths below
// it are resolved from it, by the same rules, without a walk from the root each time (the functions of a
// sysfs folder); ".." and links may lead above it.
class ResolvedFolder {
 public:
  ResolvedFolder();
  ~ResolvedFolder();
  ResolvedFolder(const ResolvedFolder &) = delete;
  ResolvedFolder &operator=(const ResolvedFolder &) = delete;

  bool Open(const std::string &path, OpenFailure *failure);
  int fd() const;  // the folder, opened for reading; -1 before Open succeeds
  UniqueFd OpenBelow(const std::string &relative, OpenFor purpose, OpenFailure *failure,
                     struct stat *st = nullptr) const;

 private:
  std::vector<WalkFolder> chain_;
};

// The run's outputs, registered once they are open: an input never is one of them, by any name. Opening
// one for input (or for kConfig) fails with isOutput, and `why` names the output and its variable: "is the
// trace (KELVORANT_TRACE)".
void RegisterOutput(const struct stat &st, const std::string &what, const std::string &variable);

// The output that `st` is, as it was registered ("the trace"); "" for a file that is none.
std::string OutputName(const struct stat &st);

// A reason for an errno, in the words of strerror, except where a plainer one helps: an exhausted
// descriptor limit names the limit.
std::string ErrnoReason(int error);

}  // namespace kvhost
