#include "scm_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

#include "host/opener.h"
#include "host/read_limits.h"
#include "kvplat/diag.h"
#include "kvplat/errno_map.h"
#include "scm_temporaries.h"

namespace kvplat {

namespace {

constexpr const char *kLockFile = ".lock";
constexpr const char *kRecordSuffix = ".service";

// How long a session waits for the lock that another process holds. The database is held only while
// records are read and written, for milliseconds (never while a driver loads): a wait of a second means that
// process is stuck, and is said; after ten the call fails.
constexpr auto kLockNoticeAfter = std::chrono::seconds(1);
constexpr auto kLockGiveUpAfter = std::chrono::seconds(10);

// The record's file name: the name folded to lower case, with every byte other than a letter, a digit, '-'
// or '_' written as %XX, so that any service name is one safe file name.
std::string RecordFileName(const std::string &name) {
  std::string file;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '_') {
      file += static_cast<char>(std::tolower(c));
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned>(std::tolower(c)));
      file += escaped;
    }
  }
  return file + kRecordSuffix;
}

// The text of a record file, opened through the host's one opener (not following a link) and read within
// its bound. Nothing when there is no such file; an exception when it is not a record, or a RecordUnreadable
// when this process cannot read it (no descriptor left, an I/O error): that says nothing of the record.
struct RecordUnreadable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::optional<std::string> ReadRecordText(int folder, const std::string &file) {
  kvhost::OpenFailure failure;
  kvhost::UniqueFd fd = kvhost::OpenInFolder(folder, file, kvhost::OpenFor::kInput, &failure);
  if (!fd.valid()) {
    if (failure.error == ENOENT) return std::nullopt;
    if (failure.error && !failure.type && !failure.untrusted) throw RecordUnreadable(failure.why);
    throw std::runtime_error("it " + failure.why);
  }
  std::string text;
  switch (kvhost::ReadAll(fd.get(), kvhost::kMaxServiceRecordBytes, &text)) {
    case kvhost::ReadEnd::kDone:
      return text;
    case kvhost::ReadEnd::kFailed:
      throw RecordUnreadable("cannot read: " + kvhost::ErrnoReason(errno));
    case kvhost::ReadEnd::kTooLong:
      break;
  }
  throw std::runtime_error("it is too long");
}

// "process 1234 (kelvorant)", from the kernel's table of locks; "another process" when it is not there.
std::string DescribeLockHolder(int lockFd) {
  struct stat st;
  std::string text, why;
  if (::fstat(lockFd, &st) != 0 || !kvhost::ReadInput("/proc/locks", 1 << 20, &text, &why)) return "another process";
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, " %02x:%02x:%lu ", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long>(st.st_ino));
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    // "1: FLOCK  ADVISORY  WRITE 1234 08:02:5678 0 EOF"; waiters are listed as "1: -> FLOCK ...".
    if (line.find(" FLOCK ") == std::string::npos || line.find("->") != std::string::npos) continue;
    const size_t at = line.find(wanted);
    if (at == std::string::npos) continue;
    const size_t pidEnd = line.find_last_not_of(' ', at);
    const size_t pidBegin = line.find_last_of(' ', pidEnd);
    const std::string pid = line.substr(pidBegin + 1, pidEnd - pidBegin);
    std::string comm;
    if (kvhost::ReadInput("/proc/" + pid + "/comm", 256, &comm, &why) && !comm.empty() && comm.back() == '\n') {
      comm.pop_back();
      return "process " + pid + " (" + comm + ")";
    }
    return "process " + pid;
  }
  return "another process";
}

}  // namespace

ScmSession::ScmSession(std::shared_ptr<const ScmDatabase> database) : database_(std::move(database)) {
  const int folder = database_->folder.get();
  if (folder < 0) return;  // no database yet: nothing to lock, nothing to read
  bool exclusive = database_->writable;
  kvhost::OpenFailure failure;
  if (exclusive) lockFd_ = kvhost::OpenInFolder(folder, kLockFile, kvhost::OpenFor::kOutput, &failure).release();
  if (lockFd_ < 0) {
    // A reader without write access still waits for writers through a shared lock.
    exclusive = false;
    lockFd_ = kvhost::OpenInFolder(folder, kLockFile, kvhost::OpenFor::kInput, &failure).release();
  }
  if (lockFd_ >= 0) Lock(exclusive);
}

void ScmSession::Lock(bool exclusive) {
  const auto start = std::chrono::steady_clock::now();
  bool said = false;
  for (;;) {
    if (::flock(lockFd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return;  // a file system without locks: go on as the only user
    const auto waited = std::chrono::steady_clock::now() - start;
    if (!said && waited >= kLockNoticeAfter) {
      Diag("the service database %s is held by %s; waiting for it", database_->path.c_str(),
           DescribeLockHolder(lockFd_).c_str());
      said = true;
    }
    if (waited >= kLockGiveUpAfter) {
      Diag("the service database %s is still held by %s after %lld s; the call fails", database_->path.c_str(),
           DescribeLockHolder(lockFd_).c_str(),
           static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kLockGiveUpAfter).count()));
      ::close(lockFd_);
      lockFd_ = -1;
      error_ = ERROR_SERVICE_DATABASE_LOCKED;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

ScmSession::~ScmSession() {
  if (lockFd_ >= 0) ::close(lockFd_);  // closing releases the flock
}

std::optional<ServiceRecord> ScmSession::Read(const std::string &name) const {
  const int folder = database_->folder.get();
  if (folder < 0 || error_) return std::nullopt;
  const std::string file = RecordFileName(name);
  try {
    std::optional<std::string> text = ReadRecordText(folder, file);
    if (!text) return std::nullopt;
    return ParseServiceRecord(*text);
  } catch (const RecordUnreadable &failure) {
    Diag("the service record %s/%s cannot be read and is ignored: %s", database_->path.c_str(), file.c_str(),
         failure.what());
    return std::nullopt;
  } catch (const std::bad_alloc &) {
    throw;  // no memory says nothing of the record
  } catch (const std::exception &damage) {
    Diag("the service record %s/%s is damaged and is ignored: %s", database_->path.c_str(), file.c_str(),
         damage.what());
    return std::nullopt;
  }
}

DWORD ScmSession::Write(const ServiceRecord &record) const {
  const int folder = database_->folder.get();
  if (error_) return error_;
  if (folder < 0 || !database_->writable) return ERROR_ACCESS_DENIED;
  const std::string file = RecordFileName(record.name);
  const std::string temporary = TemporaryRecordName(file);  // whose it is, should this process be killed
  const std::string text = ServiceRecordText(record);
  kvhost::UniqueFd fd(::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) return Win32ErrorFromErrno(errno);
  if (!kvhost::WriteAll(fd.get(), text) || ::close(fd.release()) != 0) {
    const int failure = errno;
    ::unlinkat(folder, temporary.c_str(), 0);
    return Win32ErrorFromErrno(failure);
  }
  if (::renameat(folder, temporary.c_str(), folder, file.c_str()) != 0) {
    const int failure = errno;
    ::unlinkat(folder, temporary.c_str(), 0);
    return Win32ErrorFromErrno(failure);
  }
  return ERROR_SUCCESS;
}

DWORD ScmSession::Remove(const std::string &name) const {
  const int folder = database_->folder.get();
  if (error_) return error_;
  if (folder < 0) return ERROR_SUCCESS;
  if (::unlinkat(folder, RecordFileName(name).c_str(), 0) != 0 && errno != ENOENT) return Win32ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

std::string NewServiceId() {
  static std::atomic<unsigned> counter{0};
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::ostringstream id;
  id << ::getpid() << '-' << now.tv_sec << '.' << now.tv_nsec << '-' << counter++;
  return id.str();
}

}  // namespace kvplat
