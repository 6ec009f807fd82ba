// advapi32's service control manager: its database, a folder with one record file per service and a lock
// file that several processes share, and the handle objects of its calls. Every operation holds an flock()
// on the lock file from its first read to its last write, and a record is replaced by renaming a temporary
// over it, so no reader sees half a record. Only the administrator's side writes the Windows service
// database, and a record's binary path is loaded into the process that starts the service: so the folder is
// trusted only as host/opener.h trusts a path, and reached through one descriptor opened after that check,
// every record without following a link.
#pragma once
#include <windows.h>
#include <winsvc.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/opener.h"
#include "kvplat/kernel32.h"

namespace kvplat {

// Which process started a service: pids are reused, so the record also keeps the process's start time
// (field 22 of /proc/PID/stat); a live process with the same pid but another start time is another one.
struct ProcessIdentity {
  int pid = 0;
  uint64_t startTime = 0;  // clock ticks after boot
  bool operator==(const ProcessIdentity &) const = default;
};

// The database's folder: KELVORANT_SCM_DIR made absolute, else root's or the user's default.
std::string ScmFolder();

ProcessIdentity CurrentProcessIdentity();

// The start time of process `pid`, or 0 when there is no such process or it has ended (a zombie).
uint64_t ProcessStartTime(int pid);

// True while the process that `identity` names still runs.
bool IsProcessRunning(const ProcessIdentity &identity);

// A service of the database and the file that holds it: one JSON object with every field.
struct ServiceRecord {
  std::string id;    // set at creation: tells a re-created service from the one a handle was opened on
  std::string name;  // as given to CreateServiceA
  std::string displayName;
  DWORD serviceType = 0;
  DWORD startType = 0;
  DWORD errorControl = 0;
  std::string binaryPath;
  bool running = false;     // as recorded; whether it still runs depends on `starter` (RunStateOf)
  ProcessIdentity starter;  // the process that started it
  DWORD exitCode = ERROR_SERVICE_NEVER_STARTED;
  bool markedForDelete = false;
};

// The record as its file holds it.
std::string ServiceRecordText(const ServiceRecord &record);

// The record a file holds. Throws std::exception saying what is wrong when the text is not a record: not
// JSON, a field missing or of another type, a number that its field cannot hold, an unknown state.
ServiceRecord ParseServiceRecord(const std::string &text);

// The database as this process opened it.
struct ScmDatabase {
  std::string path;  // for messages
  kvhost::UniqueFd folder;
};

// Opens the database (KELVORANT_SCM_DIR; else, for root, /run/kelvorant-scm; else
// $XDG_RUNTIME_DIR/kelvorant-scm; else /tmp/kelvorant-scm-UID) for changes, as every OpenSCManagerA does here
// (the program asks for full access), creating its folder, mode 0700, when it is missing. Null with
// ERROR_ACCESS_DENIED when the folder is not trusted, cannot be created, or this process may not change it;
// a line on standard error says which path and why.
std::shared_ptr<const ScmDatabase> OpenScmDatabase(DWORD *error);

// Service names are case-insensitive and may not hold path separators.
bool IsValidServiceName(const char *name);

// One locked session on the database, its lock released by the destructor. A lock that another process holds is waited for up to
// 10 seconds (saying so after one): then the session fails with ERROR_SERVICE_DATABASE_LOCKED.
class ScmSession {
 public:
  explicit ScmSession(std::shared_ptr<const ScmDatabase> database);
  ~ScmSession();
  ScmSession(const ScmSession &) = delete;
  ScmSession &operator=(const ScmSession &) = delete;

  // 0, or the error that every call of the session must fail with.
  DWORD error() const { return error_; }

  // The record of `name` as stored, or nothing (a damaged record is reported and reads as absent).
  std::optional<ServiceRecord> Read(const std::string &name) const;
  // Returns 0 or the Win32 error of the failed write.
  DWORD Write(const ServiceRecord &record) const;
  DWORD Remove(const std::string &name) const;

 private:
  void Lock();

  std::shared_ptr<const ScmDatabase> database_;
  int lockFd_ = -1;
  DWORD error_ = ERROR_SUCCESS;
};

// A fresh value for ServiceRecord::id.
std::string NewServiceId();

struct ServiceManagerObject : HandleObject {
  ServiceManagerObject(std::shared_ptr<const ScmDatabase> database, DWORD access)
      : HandleObject(HandleType::ServiceManager), database(std::move(database)), access(access) {}
  std::shared_ptr<const ScmDatabase> database;
  DWORD access;
};

struct ServiceObject : HandleObject {
  ServiceObject(std::shared_ptr<const ScmDatabase> database, std::string name, std::string id, DWORD access)
      : HandleObject(HandleType::Service),
        database(std::move(database)),
        name(std::move(name)),
        id(std::move(id)),
        access(access) {}
  std::shared_ptr<const ScmDatabase> database;
  std::string name;
  std::string id;  // the record it was opened on
  DWORD access;
};

}  // namespace kvplat
