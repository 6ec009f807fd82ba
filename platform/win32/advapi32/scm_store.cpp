#include "scm_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "kvplat/diag.h"
#include "kvplat/errno_map.h"

namespace kvplat {

namespace {

constexpr const char *kLockFile = ".lock";
constexpr const char *kRecordSuffix = ".service";

bool IsDirectory(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

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

nlohmann::json ToJson(const ServiceRecord &r) {
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
                        {"markedForDelete", r.markedForDelete}};
}

ServiceRecord FromJson(const nlohmann::json &j) {
  ServiceRecord r;
  r.id = j.at("id").get<std::string>();
  r.name = j.at("name").get<std::string>();
  r.displayName = j.at("displayName").get<std::string>();
  r.serviceType = j.at("serviceType").get<DWORD>();
  r.startType = j.at("startType").get<DWORD>();
  r.errorControl = j.at("errorControl").get<DWORD>();
  r.binaryPath = j.at("binaryPath").get<std::string>();
  const std::string state = j.at("state").get<std::string>();
  if (state != "running" && state != "stopped") throw std::runtime_error("unknown state \"" + state + "\"");
  r.running = state == "running";
  r.starter.pid = j.at("starterPid").get<int>();
  r.starter.startTime = j.at("starterStartTime").get<uint64_t>();
  r.exitCode = j.at("exitCode").get<DWORD>();
  r.markedForDelete = j.at("markedForDelete").get<bool>();
  return r;
}

}  // namespace

std::string ScmFolder() {
  if (const char *folder = std::getenv("KELVORANT_SCM_DIR"); folder && folder[0]) {
    // Made absolute once, so that a manager handle keeps its database when the current directory changes.
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, ignored);
    return absolute.empty() ? std::string(folder) : absolute.string();
  }
  if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0]) {
    return std::string(runtime) + "/kelvorant-scm";
  }
  return "/tmp/kelvorant-scm-" + std::to_string(::geteuid());
}

bool CanReadScmFolder(const std::string &folder) {
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISDIR(st.st_mode) && ::faccessat(AT_FDCWD, folder.c_str(), R_OK | X_OK, AT_EACCESS) == 0;
}

bool CanWriteScmFolder(const std::string &folder) {
  return IsDirectory(folder) && ::faccessat(AT_FDCWD, folder.c_str(), R_OK | W_OK | X_OK, AT_EACCESS) == 0;
}

DWORD PrepareScmFolderForWriting(const std::string &folder, std::string *why) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    if (why) *why = std::string("it cannot be created: ") + std::strerror(errno);
    return ERROR_ACCESS_DENIED;
  }
  if (CanWriteScmFolder(folder)) return ERROR_SUCCESS;
  if (why) *why = IsDirectory(folder) ? "this process may not write it" : "it is not a folder";
  return ERROR_ACCESS_DENIED;
}

bool IsValidServiceName(const char *name) {
  if (name == nullptr || name[0] == '\0') return false;
  const std::string text = name;
  return text.size() <= 256 && text.find_first_of("\\/") == std::string::npos;
}

ScmSession::ScmSession(std::string folder) : folder_(std::move(folder)) {
  const std::string lockPath = folder_ + "/" + kLockFile;
  bool exclusive = true;
  lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd_ < 0) {
    // A reader without write access still waits for writers through a shared lock.
    exclusive = false;
    lockFd_ = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (lockFd_ >= 0) {
    while (::flock(lockFd_, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
    }
  }
}

ScmSession::~ScmSession() {
  if (lockFd_ >= 0) ::close(lockFd_);  // closing releases the flock
}

std::string ScmSession::RecordPath(const std::string &name) const { return folder_ + "/" + RecordFileName(name); }

std::optional<ServiceRecord> ScmSession::Read(const std::string &name) const {
  const std::string path = RecordPath(name);
  std::ifstream in(path);
  if (!in) return std::nullopt;
  try {
    return FromJson(nlohmann::json::parse(in));
  } catch (const std::exception &error) {
    Diag("the service record %s is damaged and is ignored: %s", path.c_str(), error.what());
    return std::nullopt;
  }
}

DWORD ScmSession::Write(const ServiceRecord &record) const {
  const std::string path = RecordPath(record.name);
  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  const std::string text = ToJson(record).dump(2) + "\n";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return Win32ErrorFromErrno(errno);
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      ::unlink(temporary.c_str());
      return Win32ErrorFromErrno(error);
    }
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return Win32ErrorFromErrno(error);
  }
  return ERROR_SUCCESS;
}

DWORD ScmSession::Remove(const std::string &name) const {
  if (::unlink(RecordPath(name).c_str()) != 0 && errno != ENOENT) return Win32ErrorFromErrno(errno);
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
