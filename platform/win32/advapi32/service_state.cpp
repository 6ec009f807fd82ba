#include "kvplat/io_manager.h"
#include "scm_handles.h"

namespace kvplat {

DWORD MapManagerAccess(DWORD desired) {
  DWORD access = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  if (desired & GENERIC_READ) access |= kReadControl | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
  if (desired & GENERIC_WRITE) access |= kReadControl | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
  if (desired & GENERIC_EXECUTE) access |= kReadControl | SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
  if (desired & GENERIC_ALL) access |= SC_MANAGER_ALL_ACCESS;
  return access | SC_MANAGER_CONNECT;  // granted to every caller of OpenSCManager
}

DWORD MapServiceAccess(DWORD desired) {
  DWORD access = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  if (desired & GENERIC_READ) {
    access |= kReadControl | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
              SERVICE_ENUMERATE_DEPENDENTS;
  }
  if (desired & GENERIC_WRITE) access |= kReadControl | SERVICE_CHANGE_CONFIG;
  if (desired & GENERIC_EXECUTE) {
    access |= kReadControl | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL;
  }
  if (desired & GENERIC_ALL) access |= SERVICE_ALL_ACCESS;
  return access;
}

RunState RunStateOf(const ServiceRecord &record) {
  if (!record.running) return RunState::Stopped;
  if (record.starter == CurrentProcessIdentity()) {
    return IsDriverLoaded(record.name) ? RunState::RunningHere : RunState::Stopped;
  }
  return IsProcessRunning(record.starter) ? RunState::RunningElsewhere : RunState::Stopped;
}

std::optional<ServiceRecord> ReadCurrent(const ScmSession &session, const std::string &name) {
  std::optional<ServiceRecord> record = session.Read(name);
  if (record && record->markedForDelete && RunStateOf(*record) == RunState::Stopped) {
    session.Remove(name);  // its process ended: the deletion completes now
    return std::nullopt;
  }
  return record;
}

}  // namespace kvplat
