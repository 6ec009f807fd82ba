// The service control manager's database: a folder with one record file per service and a lock file.
// Several processes share it, as the programs of one machine share the Windows service manager. Every
// operation holds an flock() on the lock file from its first read to its last write, and a record is
// replaced by writing a temporary file and renaming it over the old one, so no reader sees half a record.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "process_identity.h"

namespace kvplat {

struct ServiceRecord {
  std::string id;           // set at creation: tells a re-created service from the one a handle was opened on
  std::string name;         // as given to CreateServiceA
  std::string displayName;
  DWORD serviceType = 0;
  DWORD startType = 0;
  DWORD errorControl = 0;
  std::string binaryPath;
  bool running = false;     // as recorded; whether it still runs depends on `starter` (see service_state.h)
  ProcessIdentity starter;  // the process that started it
  DWORD exitCode = ERROR_SERVICE_NEVER_STARTED;
  bool markedForDelete = false;
};

// KELVORANT_SCM_DIR, else $XDG_RUNTIME_DIR/kelvorant-scm, else /tmp/kelvorant-scm-UID.
std::string ScmFolder();

// Whether this process may read the database in `folder` (a missing folder reads as empty) or change it.
bool CanReadScmFolder(const std::string &folder);
bool CanWriteScmFolder(const std::string &folder);

// Creates `folder` with mode 0700 when it is missing. Returns 0, or ERROR_ACCESS_DENIED with the reason in
// *why (when given) when the folder cannot be created or written by this process.
DWORD PrepareScmFolderForWriting(const std::string &folder, std::string *why = nullptr);

// Service names are case-insensitive and may not hold path separators.
bool IsValidServiceName(const char *name);

// One locked session on the database. The lock is exclusive when this process may write the folder,
// shared otherwise, and released by the destructor.
class ScmSession {
 public:
  explicit ScmSession(std::string folder);
  ~ScmSession();
  ScmSession(const ScmSession &) = delete;
  ScmSession &operator=(const ScmSession &) = delete;

  // The record of `name` as stored, or nothing (a damaged record is reported and reads as absent).
  std::optional<ServiceRecord> Read(const std::string &name) const;
  // Returns 0 or the Win32 error of the failed write.
  DWORD Write(const ServiceRecord &record) const;
  DWORD Remove(const std::string &name) const;

 private:
  std::string RecordPath(const std::string &name) const;
  std::string folder_;
  int lockFd_ = -1;
};

// A fresh value for ServiceRecord::id.
std::string NewServiceId();

}  // namespace kvplat
