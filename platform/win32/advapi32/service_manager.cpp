// Opening the service control manager, creating and opening services, closing their handles.
#include <windows.h>
#include <winsvc.h>

#include <strings.h>

#include "kvplat/diag.h"
#include "scm_handles.h"

using namespace kvplat;

namespace {

SC_HANDLE Fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

SC_HANDLE ToScHandle(HANDLE handle) { return reinterpret_cast<SC_HANDLE>(handle); }

bool IsValidServiceConfig(DWORD serviceType, DWORD startType, DWORD errorControl) {
  const bool driver = serviceType == SERVICE_KERNEL_DRIVER || serviceType == SERVICE_FILE_SYSTEM_DRIVER;
  const DWORD win32 = serviceType & ~0x100u;  // SERVICE_INTERACTIVE_PROCESS goes with Win32 services only
  const bool process = win32 == SERVICE_WIN32_OWN_PROCESS || win32 == SERVICE_WIN32_SHARE_PROCESS;
  if (!driver && !process) return false;
  if (startType > SERVICE_DISABLED) return false;
  if (!driver && startType < SERVICE_AUTO_START) return false;  // boot and system start are for drivers
  return errorControl <= SERVICE_ERROR_CRITICAL;
}

}  // namespace

extern "C" SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess) {
  if (lpMachineName != nullptr && lpMachineName[0] != '\0') {
    ReportUnimplemented("OpenSCManagerA on another machine");
    return Fail(ERROR_NOT_SUPPORTED);
  }
  if (lpDatabaseName != nullptr && ::strcasecmp(lpDatabaseName, "ServicesActive") != 0) {
    return Fail(ERROR_DATABASE_DOES_NOT_EXIST);
  }
  const DWORD access = MapManagerAccess(dwDesiredAccess);
  // Windows says no more than ERROR_ACCESS_DENIED; which folder and why is only in the diagnostics.
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<const ScmDatabase> database = OpenScmDatabase((access & kManagerWriteRights) != 0, &error);
  if (!database) return Fail(error);
  SetLastError(ERROR_SUCCESS);
  return ToScHandle(InsertHandle(std::make_shared<ServiceManagerObject>(std::move(database), access)));
}

extern "C" SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName,
                                           DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                                           DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                           LPCSTR /*lpLoadOrderGroup*/, LPDWORD lpdwTagId,
                                           LPCSTR /*lpDependencies*/, LPCSTR /*lpServiceStartName*/,
                                           LPCSTR /*lpPassword*/) {
  // Load-order groups, dependencies and accounts have no meaning for drivers loaded into this process.
  auto manager = LookupHandleAs<ServiceManagerObject>(hSCManager, HandleType::ServiceManager);
  if (!manager) return Fail(ERROR_INVALID_HANDLE);
  if (!(manager->access & SC_MANAGER_CREATE_SERVICE)) return Fail(ERROR_ACCESS_DENIED);
  if (!IsValidServiceName(lpServiceName)) return Fail(ERROR_INVALID_NAME);
  if (lpBinaryPathName == nullptr || lpBinaryPathName[0] == '\0' || lpdwTagId != nullptr ||
      !IsValidServiceConfig(dwServiceType, dwStartType, dwErrorControl)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const DWORD access = MapServiceAccess(dwDesiredAccess);
  if ((access & kServiceWriteRights) && !manager->database->writable) return Fail(ERROR_ACCESS_DENIED);

  ScmSession session(manager->database);
  if (session.error()) return Fail(session.error());
  if (std::optional<ServiceRecord> existing = ReadCurrent(session, lpServiceName)) {
    return Fail(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
  }
  ServiceRecord record;
  record.id = NewServiceId();
  record.name = lpServiceName;
  record.displayName = lpDisplayName && lpDisplayName[0] ? lpDisplayName : lpServiceName;
  record.serviceType = dwServiceType;
  record.startType = dwStartType;
  record.errorControl = dwErrorControl;
  record.binaryPath = lpBinaryPathName;
  if (DWORD error = session.Write(record)) return Fail(error);
  RememberServiceOfThisProcess(manager->database, record.name, record.id);
  SetLastError(ERROR_SUCCESS);
  return ToScHandle(InsertHandle(std::make_shared<ServiceObject>(manager->database, record.name, record.id, access)));
}

extern "C" SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
  auto manager = LookupHandleAs<ServiceManagerObject>(hSCManager, HandleType::ServiceManager);
  if (!manager) return Fail(ERROR_INVALID_HANDLE);
  if (!IsValidServiceName(lpServiceName)) return Fail(ERROR_INVALID_NAME);
  ScmSession session(manager->database);
  if (session.error()) return Fail(session.error());
  std::optional<ServiceRecord> record = ReadCurrent(session, lpServiceName);
  if (!record) return Fail(ERROR_SERVICE_DOES_NOT_EXIST);
  const DWORD access = MapServiceAccess(dwDesiredAccess);
  if ((access & kServiceWriteRights) && !manager->database->writable) return Fail(ERROR_ACCESS_DENIED);
  SetLastError(ERROR_SUCCESS);
  return ToScHandle(InsertHandle(std::make_shared<ServiceObject>(manager->database, record->name, record->id, access)));
}

extern "C" BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
  if (!CloseHandleOf(hSCObject, {HandleType::ServiceManager, HandleType::Service})) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
