// The service database (scm.h): where it lives, its trusted folder, its records and their files, the locked
// sessions on it, the temporaries of writers that have ended, and the identities of their starters.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "host/opener.h"
#include "host/termination.h"
#include "kvplat/diag.h"
#include "scm.h"

namespace kvplat {

namespace {

// A field that must be a whole number its type holds. nlohmann's get<T>() casts whatever number it finds,
// and a cast of 1e27 or -1 to an unsigned field is out of range (undefined for a floating-point value).
template <typename T>
T Whole(const nlohmann::json &record, const char *key) {
  const nlohmann::json &value = record.at(key);
  if (value.is_number_unsigned() && std::in_range<T>(value.get<uint64_t>())) return static_cast<T>(value.get<uint64_t>());
  if (value.is_number_integer() && !value.is_number_unsigned() && std::in_range<T>(value.get<int64_t>()))
    return static_cast<T>(value.get<int64_t>());
  throw std::runtime_error(std::string(key) + " is not a whole number from " + std::to_string(std::numeric_limits<T>::min()) +
                           " to " + std::to_string(std::numeric_limits<T>::max()));
}

// A string field. A NUL in it (written \u0000) would cut the name or path it holds where a C string ends.
std::string Text(const nlohmann::json &record, const char *key) {
  std::string value = record.at(key).get<std::string>();
  if (value.find('\0') != std::string::npos) throw std::runtime_error(std::string(key) + " holds a NUL character");
  return value;
}

// The reason in a line that speaks of the folder: "it may be written by other users (mode 0777)".
std::string Reason(const kvhost::OpenFailure &failure) {
  constexpr std::string_view kFailedOpen = "cannot open: ";
  if (failure.why.starts_with(kFailedOpen)) return "it cannot be opened: " + failure.why.substr(kFailedOpen.size());
  return "it " + failure.why;
}

// The temporary through which this process replaces the record file `recordFile`. A writer killed before
// its rename leaves it behind, so its name says whose it is, RECORD.tmpPID-STARTTIME, and each opening of
// the database removes the temporaries of writers that no longer run; a live writer's file is never
// touched, whether or not the file system knows the database's lock. (Not O_TMPFILE: linkat() cannot put
// the file in place of the old record, and not every file system that may hold the database has it.)
std::string TemporaryRecordName(const std::string &recordFile) {
  const ProcessIdentity self = CurrentProcessIdentity();
  return recordFile + ".tmp" + std::to_string(self.pid) + "-" + std::to_string(self.startTime);
}

constexpr std::string_view kMark = ".service.tmp";

bool ParseNumber(std::string_view text, uint64_t *value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The writer that a temporary's name records; nothing when the name is not a temporary's.
std::optional<ProcessIdentity> WriterOf(std::string_view name) {
  const size_t mark = name.rfind(kMark);
  if (mark == std::string_view::npos) return std::nullopt;
  std::string_view rest = name.substr(mark + kMark.size());
  const size_t dash = rest.find('-');
  uint64_t pid = 0, startTime = 0;
  if (dash == std::string_view::npos || !ParseNumber(rest.substr(0, dash), &pid) || pid > INT32_MAX ||
      !ParseNumber(rest.substr(dash + 1), &startTime))
    return std::nullopt;
  return ProcessIdentity{static_cast<int>(pid), startTime};
}

// Removes from the database folder `folder` (named `path` in messages) the temporaries of writers that have
// ended. A file that cannot be removed is said on standard error.
void RemoveEndedWritersTemporaries(int folder, const std::string &path) {
  // A descriptor of its own for the listing: closedir closes it.
  const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR *dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
  if (!dir) {
    if (listing >= 0) ::close(listing);
    Diag("the service database %s cannot be listed for the temporary files of ended writers: %s", path.c_str(),
         std::strerror(errno));
    return;
  }
  while (const dirent *entry = ::readdir(dir)) {
    const std::optional<ProcessIdentity> writer = WriterOf(entry->d_name);
    if (!writer || IsProcessRunning(*writer)) continue;
    if (::unlinkat(folder, entry->d_name, 0) != 0 && errno != ENOENT) {
      Diag("the service database %s keeps %s, the temporary file of a writer that has ended: %s", path.c_str(),
           entry->d_name, std::strerror(errno));
    }
  }
  ::closedir(dir);
}

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

std::string ScmFolder() {
  if (const char *folder = std::getenv("KELVORANT_SCM_DIR"); folder && folder[0]) {
    // Made absolute once, so that a manager handle keeps its database when the current directory changes.
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, ignored);
    return absolute.empty() ? std::string(folder) : absolute.string();
  }
  // Root's database is where only root can write, whatever its environment says (sudo and su leave
  // XDG_RUNTIME_DIR unset, or set to the user's own folder).
  if (::geteuid() == 0) return "/run/kelvorant-scm";
  if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0]) {
    return std::string(runtime) + "/kelvorant-scm";
  }
  return "/tmp/kelvorant-scm-" + std::to_string(::geteuid());
}

uint64_t ProcessStartTime(int pid) {
  if (pid <= 0) return 0;
  std::string line, why;
  if (!kvhost::ReadInput("/proc/" + std::to_string(pid) + "/stat", 4096, &line, &why)) return 0;
  // "PID (COMM) STATE PPID ..." where COMM may hold spaces and parentheses: fields count from the last ')'.
  const std::string::size_type close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::string_view rest = std::string_view(line).substr(close + 1);
  uint64_t startTime = 0;
  for (int field = 3; field <= 22; ++field) {
    rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
    const std::string_view value = rest.substr(0, rest.find(' '));
    rest.remove_prefix(value.size());
    if (field == 3 && (value == "Z" || value == "X" || value == "x")) return 0;
    if (field == 22 && !ParseNumber(value, &startTime)) return 0;
  }
  return startTime;
}

ProcessIdentity CurrentProcessIdentity() {
  // Kept for the pid it was read for: a child made by fork() is another process with its own start time.
  static ProcessIdentity self;
  const int pid = static_cast<int>(::getpid());
  if (self.pid != pid || self.startTime == 0) self = ProcessIdentity{pid, ProcessStartTime(pid)};
  return self;
}

bool IsProcessRunning(const ProcessIdentity &identity) {
  const uint64_t startTime = ProcessStartTime(identity.pid);
  return startTime != 0 && startTime == identity.startTime;
}

std::string ServiceRecordText(const ServiceRecord &r) {
  return nlohmann::json{{"id", r.id},
                        {"name", r.name},
                        {"displayName", r.displayName},
                        {"serviceType", r.serviceType},
                        {"startType", r.startType},
                        {"errorControl", r.errorControl},
                        {"binaryPath", r.binaryPath},
                        {"state", r.running ? "running" : "stopped"},
                        {"starterPid", r.starter.pid},
                        {"starterStartTime", r.starter.startTime},
                        {"exitCode", r.exitCode},
                        {"markedForDelete", r.markedForDelete}}
             .dump(2) +
         "\n";
}

ServiceRecord ParseServiceRecord(const std::string &text) {
  // The JSON reader would take a NUL byte for the end of the text.
  if (text.find('\0') != std::string::npos) throw std::runtime_error("it holds a NUL byte");
  const nlohmann::json j = nlohmann::json::parse(text);
  ServiceRecord r;
  r.id = Text(j, "id");
  r.name = Text(j, "name");
  r.displayName = Text(j, "displayName");
  r.serviceType = Whole<DWORD>(j, "serviceType");
  r.startType = Whole<DWORD>(j, "startType");
  r.errorControl = Whole<DWORD>(j, "errorControl");
  r.binaryPath = Text(j, "binaryPath");
  const std::string state = Text(j, "state");
  if (state != "running" && state != "stopped") throw std::runtime_error("unknown state \"" + state + "\"");
  r.running = state == "running";
  r.starter.pid = Whole<int>(j, "starterPid");
  r.starter.startTime = Whole<uint64_t>(j, "starterStartTime");
  r.exitCode = Whole<DWORD>(j, "exitCode");
  r.markedForDelete = j.at("markedForDelete").get<bool>();
  return r;
}


std::shared_ptr<const ScmDatabase> OpenScmDatabase(DWORD *error) {
  auto database = std::make_shared<ScmDatabase>();
  database->path = ScmFolder();
  kvhost::OpenFailure failure;
  struct stat st;
  database->folder = kvhost::OpenPath(database->path, kvhost::OpenFor::kNewFolder, &failure, &st);
  // Root may change it, and its owner by the owner's bits: a trusted folder belongs to this process's user
  // or root and no other user may write it.
  const bool mayChange = ::geteuid() == 0 || (st.st_uid == ::geteuid() && (st.st_mode & S_IRWXU) == S_IRWXU);
  std::string why;
  kvhost::OpenFailure lockFailure;
  if (!database->folder.valid()) {
    why = Reason(failure);
  } else if (!mayChange) {
    why = "it may not be written by this process";
  } else if (!kvhost::OpenInFolder(database->folder.get(), kLockFile, kvhost::OpenFor::kOutput, &lockFailure)
                  .valid()) {
    // Known only by writing: root's rights do not make every file system writable.
    why = std::string("its lock file ") + kLockFile + ": " + lockFailure.why;
  }
  if (!why.empty()) {
    Diag("the service database %s cannot be opened for changes: %s", database->path.c_str(), why.c_str());
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  RemoveEndedWritersTemporaries(database->folder.get(), database->path);
  return database;
}

bool IsValidServiceName(const char *name) {
  if (name == nullptr || name[0] == '\0') return false;
  const std::string text = name;
  return text.size() <= 256 && text.find_first_of("\\/") == std::string::npos;
}

ScmSession::ScmSession(std::shared_ptr<const ScmDatabase> database) : database_(std::move(database)) {
  kvhost::OpenFailure failure;
  lockFd_ = kvhost::OpenInFolder(database_->folder.get(), kLockFile, kvhost::OpenFor::kOutput, &failure).release();
  if (lockFd_ >= 0) Lock();
}

void ScmSession::Lock() {
  const auto start = std::chrono::steady_clock::now();
  bool said = false;
  for (;;) {
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) return;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return;  // a file system without locks: go on as the only user
    const auto waited = std::chrono::steady_clock::now() - start;
    if (!said && waited >= kLockNoticeAfter) {
      Diag("the service database %s is held by %s; waiting for it", database_->path.c_str(),
           DescribeLockHolder(lockFd_).c_str());
      said = true;
    }
    // A signal that asks the run to end ends the wait too: each call of the shut-down fails at once then.
    const int signal = kvhost::TerminationSignal();
    if (waited >= kLockGiveUpAfter || signal != 0) {
      if (signal != 0) {
        static bool saidSignal = false;  // once: every call after it fails alike
        if (!std::exchange(saidSignal, true))
          Diag("the service database %s is held by %s, and %s came; the calls that need it fail",
               database_->path.c_str(), DescribeLockHolder(lockFd_).c_str(), kvhost::TerminationSignalName(signal));
      } else {
        Diag("the service database %s is still held by %s after %lld s; the call fails", database_->path.c_str(),
             DescribeLockHolder(lockFd_).c_str(),
             static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kLockGiveUpAfter).count()));
      }
      ::close(lockFd_);
      lockFd_ = -1;
      error_ = ERROR_SERVICE_DATABASE_LOCKED;
      return;
    }
    kvhost::SleepUnlessSignalled(10);
  }
}

ScmSession::~ScmSession() {
  if (lockFd_ >= 0) ::close(lockFd_);  // closing releases the flock
}

std::optional<ServiceRecord> ScmSession::Read(const std::string &name) const {
  const int folder = database_->folder.get();
  if (error_) return std::nullopt;
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
  const std::string file = RecordFileName(record.name);
  const std::string temporary = TemporaryRecordName(file);  // whose it is, should this process be killed
  const std::string text = ServiceRecordText(record);
  kvhost::UniqueFd fd(::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) return Win32ErrorFromErrno(errno);
  if (!kvhost::WriteAll(fd.get(), text) || ::close(fd.release()) != 0 ||
      ::renameat(folder, temporary.c_str(), folder, file.c_str()) != 0) {
    const int failure = errno;
    ::unlinkat(folder, temporary.c_str(), 0);
    return Win32ErrorFromErrno(failure);
  }
  return ERROR_SUCCESS;
}

DWORD ScmSession::Remove(const std::string &name) const {
  const int folder = database_->folder.get();
  if (error_) return error_;
  if (::unlinkat(folder, RecordFileName(name).c_str(), 0) != 0 && errno != ENOENT) return Win32ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

std::string NewServiceId() {
  static std::atomic<unsigned> counter{0};
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return std::to_string(::getpid()) + "-" + std::to_string(now.tv_sec) + "." + std::to_string(now.tv_nsec) + "-" +
         std::to_string(counter++);
}

}  // namespace kvplat
