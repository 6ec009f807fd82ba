// advapi32's handle objects, the access rights they were granted, and the state of a service as it stands.
#pragma once
#include <windows.h>
#include <winsvc.h>

#include <memory>
#include <optional>
#include <string>

#include "kvplat/handles.h"
#include "scm_store.h"

namespace kvplat {

// Standard rights (winnt.h).
constexpr DWORD kReadControl = 0x00020000;
constexpr DWORD kWriteDac = 0x00040000;
constexpr DWORD kWriteOwner = 0x00080000;

// Rights that change the database. The folder's permissions play the part of the security descriptor: a
// process that may not write the folder is not granted these.
constexpr DWORD kManagerWriteRights = SC_MANAGER_CREATE_SERVICE | SC_MANAGER_LOCK | SC_MANAGER_MODIFY_BOOT_CONFIG |
                                      DELETE | kWriteDac | kWriteOwner;
constexpr DWORD kServiceWriteRights = SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                                      SERVICE_USER_DEFINED_CONTROL | DELETE | kWriteDac | kWriteOwner;

// Generic rights mapped to specific ones, as the service manager maps them.
DWORD MapManagerAccess(DWORD desired);
DWORD MapServiceAccess(DWORD desired);

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

enum class RunState {
  Stopped,
  RunningHere,       // its driver is loaded in this process
  RunningElsewhere,  // started by another process that still runs
};

// A service that this process created or started: its record is removed should the run end at once
// (kvplat/run_end.h) before the program removes it.
void RememberServiceOfThisProcess(const std::shared_ptr<const ScmDatabase> &database, const std::string &name,
                                  const std::string &id);

// A record whose starter has ended, or whose driver this process no longer holds, is not running.
RunState RunStateOf(const ServiceRecord &record);

// The record of `name` as it stands now: a record marked for deletion that no longer runs is removed (when
// the session may write) and reads as absent. Nothing, too, when the session failed.
std::optional<ServiceRecord> ReadCurrent(const ScmSession &session, const std::string &name);

}  // namespace kvplat
