// The files a run reads and writes, through the one opener (opener.h), and what their messages share.
// A reason given in *why is the part of a message after the path: "is a FIFO, not a regular file".
#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
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

// Opens a regular file of at most `max_bytes` for reading (through OpenPath).
UniqueFd OpenInput(const std::string &path, uint64_t max_bytes, std::string *why, struct stat *opened = nullptr);

// Reads an open file to its end, at most `max_bytes`: kFailed with errno set when a read fails, kTooLong
// when there is more.
enum class ReadEnd { kDone, kFailed, kTooLong };
ReadEnd ReadAll(int fd, uint64_t max_bytes, std::string *text);
// Reads a regular file of at most `max_bytes` whole.
bool ReadInput(const std::string &path, uint64_t max_bytes, std::string *text, std::string *why,
               struct stat *st = nullptr);

// Opens an output for writing (through OpenPath), created when it is missing and never truncated here: the
// caller decides when its old content goes. With `append`, every write goes to its end.
UniqueFd OpenOutput(const std::string &path, bool append, std::string *why, struct stat *st = nullptr);

// Writes all of `data`; false with errno set when a write fails.
bool WriteAll(int fd, std::string_view data);

}  // namespace kvhost
