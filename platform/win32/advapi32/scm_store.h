// The service control manager's database: a folder with one record file per service and a lock file.
// Several processes share it, as the programs of one machine share the Windows service manager. Every
// operation holds an flock() on the lock file from its first read to its last write, and a record is
// replaced by writing a temporary file and renaming it over the old one, so no reader sees half a record.
//
// Only the administrator's side writes the Windows service database, and a record's binary path is loaded
// into the process that starts the service. So the folder is trusted as OpenSSH trusts its files: it and
// every folder above it belong to this process's user or root and no other user may write them (see
// host/host_files.h), and it is reached through one descriptor opened after that check, every record
// without following a link.
#pragma once
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "host/host_files.h"
#include "service_record.h"

namespace kvplat {

// KELVORANT_SCM_DIR; else, for root, /run/kelvorant-scm; else $XDG_RUNTIME_DIR/kelvorant-scm; else
// /tmp/kelvorant-scm-UID.
std::string ScmFolder();

// The database as this process opened it.
struct ScmDatabase {
  std::string path;         // for messages
  kvhost::UniqueFd folder;  // not valid: the folder does not exist yet, and the database reads as empty
  bool writable = false;    // this process may change it
};

// Opens the database of ScmFolder() for reading, or for changes (creating its folder, mode 0700, when it is
// missing). Null with ERROR_ACCESS_DENIED when the folder is not trusted, cannot be created, or this
// process may not read (or change) it; a line on standard error says which path and why.
std::shared_ptr<const ScmDatabase> OpenScmDatabase(bool forChanges, DWORD *error);

// Service names are case-insensitive and may not hold path separators.
bool IsValidServiceName(const char *name);

// One locked session on the database. The lock is exclusive when this process may change the database,
// shared otherwise, and released by the destructor. A lock that another process holds is waited for up to
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
  void Lock(bool exclusive);

  std::shared_ptr<const ScmDatabase> database_;
  int lockFd_ = -1;
  DWORD error_ = ERROR_SUCCESS;
};

// A fresh value for ServiceRecord::id.
std::string NewServiceId();

}  // namespace kvplat
