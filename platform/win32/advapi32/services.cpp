// The service control manager's calls: opening it, creating and opening services, starting, stopping,
// deleting and querying them, closing their handles. A kernel driver service runs in the process that
// started it: its start loads the driver module here, its stop unloads it.
#include <windows.h>
#include <winsvc.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "kvplat/diag.h"
#include "kvplat/kernel.h"
#include "scm.h"

using namespace kvplat;

namespace {

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

SC_HANDLE FailHandle(DWORD error) {
  SetLastError(error);
  return nullptr;
}

SC_HANDLE ToScHandle(HANDLE handle) { return reinterpret_cast<SC_HANDLE>(handle); }

// Generic rights are not mapped to specific ones: the program asks for the specific ones.
bool SpecificRights(DWORD desired) {
  if (!(desired & (GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL))) return true;
  ReportUnimplemented("a generic right asked of the service control manager");
  return false;
}

enum class RunState {
  Stopped,
  RunningHere,       // its driver is loaded in this process
  RunningElsewhere,  // started by another process that still runs
};

// A record whose starter has ended, or whose driver this process no longer holds, is not running.
RunState RunStateOf(const ServiceRecord &record) {
  if (!record.running) return RunState::Stopped;
  if (record.starter == CurrentProcessIdentity()) {
    return IsDriverLoaded(record.name) ? RunState::RunningHere : RunState::Stopped;
  }
  return IsProcessRunning(record.starter) ? RunState::RunningElsewhere : RunState::Stopped;
}

// The record of `name` as it stands now: a record marked for deletion that no longer runs is removed and
// reads as absent.
std::optional<ServiceRecord> ReadCurrent(const ScmSession &session, const std::string &name) {
  std::optional<ServiceRecord> record = session.Read(name);
  if (record && record->markedForDelete && RunStateOf(*record) == RunState::Stopped) {
    session.Remove(name);  // its process ended: the deletion completes now
    return std::nullopt;
  }
  return record;
}

// The services that this process created or started. A run that ends at once (EndRunNow) never reaches the
// program's own removal of its service, so their records go with it: a driver of this process runs nowhere
// once it has ended, and the next start would otherwise find the record.
struct Remembered {
  std::shared_ptr<const ScmDatabase> database;
  std::string name;
  std::string id;
};

struct Services {
  std::mutex mutex;
  std::vector<Remembered> list;
  bool hooked = false;
};

Services &OfThisProcess() {
  static auto *services = new Services;  // read at the very end of the process
  return *services;
}

void RemoveServicesOfThisProcess() {
  Services &services = OfThisProcess();
  std::lock_guard<std::mutex> lock(services.mutex);
  for (const Remembered &service : services.list) {
    try {
      ScmSession session(service.database);
      if (session.error()) continue;
      const std::optional<ServiceRecord> record = session.Read(service.name);
      // Another process's record of the same name, or one that another process started since, stays.
      if (!record || record->id != service.id) continue;
      if (record->running && !(record->starter == CurrentProcessIdentity())) continue;
      session.Remove(service.name);
    } catch (const std::exception &) {
      // Nothing more can be done at the end; the next start removes a record whose process has ended.
    }
  }
}

void RememberServiceOfThisProcess(const std::shared_ptr<const ScmDatabase> &database, const std::string &name,
                                  const std::string &id) {
  Services &services = OfThisProcess();
  std::lock_guard<std::mutex> lock(services.mutex);
  services.list.push_back({database, name, id});
  if (!services.hooked) services.hooked = std::at_quick_exit(RemoveServicesOfThisProcess) == 0;
}

bool IsDriver(DWORD serviceType) {
  return serviceType == SERVICE_KERNEL_DRIVER || serviceType == SERVICE_FILE_SYSTEM_DRIVER;
}

// The locked database and the record behind a service handle that was granted `right`.
struct ServiceCall {
  std::shared_ptr<ServiceObject> handle;
  std::unique_ptr<ScmSession> session;
  ServiceRecord record;
};

DWORD BeginServiceCall(SC_HANDLE hService, DWORD right, ServiceCall *call) {
  call->handle = LookupHandleAs<ServiceObject>(hService, HandleType::Service);
  if (!call->handle) return ERROR_INVALID_HANDLE;
  if (!(call->handle->access & right)) return ERROR_ACCESS_DENIED;
  call->session = std::make_unique<ScmSession>(call->handle->database);
  if (DWORD error = call->session->error()) return error;
  std::optional<ServiceRecord> record = ReadCurrent(*call->session, call->handle->name);
  // Deleted since the handle was opened, possibly re-created under the same name: the handle's service
  // is one that was marked for deletion.
  if (!record || record->id != call->handle->id) return ERROR_SERVICE_MARKED_FOR_DELETE;
  call->record = *record;
  return ERROR_SUCCESS;
}

void FillStatus(const ServiceRecord &record, RunState state, LPSERVICE_STATUS status) {
  const bool running = state != RunState::Stopped;
  *status = SERVICE_STATUS{};
  status->dwServiceType = record.serviceType;
  status->dwCurrentState = running ? SERVICE_RUNNING : SERVICE_STOPPED;
  status->dwControlsAccepted = running ? SERVICE_ACCEPT_STOP : 0;
  status->dwWin32ExitCode = running ? ERROR_SUCCESS : record.exitCode;
}

// The record once its driver stopped, or failed to start, with `exitCode`: not running, and gone when it
// was marked for deletion.
DWORD RecordStopped(const ScmSession &session, ServiceRecord record, DWORD exitCode) {
  if (record.markedForDelete) return session.Remove(record.name);
  record.running = false;
  record.starter = ProcessIdentity{};
  record.exitCode = exitCode;
  return session.Write(record);
}

}  // namespace

extern "C" SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess) {
  if ((lpMachineName != nullptr && lpMachineName[0] != '\0') || lpDatabaseName != nullptr) {
    ReportUnimplemented("OpenSCManagerA of another machine or database than this one's active services");
    return FailHandle(ERROR_NOT_SUPPORTED);
  }
  if (!SpecificRights(dwDesiredAccess)) return FailHandle(ERROR_NOT_SUPPORTED);
  const DWORD access = dwDesiredAccess | SC_MANAGER_CONNECT;  // granted to every caller
  // Windows says no more than ERROR_ACCESS_DENIED; which folder and why is only in the diagnostics.
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<const ScmDatabase> database = OpenScmDatabase(&error);
  if (!database) return FailHandle(error);
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
  if (!manager) return FailHandle(ERROR_INVALID_HANDLE);
  if (!(manager->access & SC_MANAGER_CREATE_SERVICE)) return FailHandle(ERROR_ACCESS_DENIED);
  if (!IsValidServiceName(lpServiceName)) return FailHandle(ERROR_INVALID_NAME);
  if (lpBinaryPathName == nullptr || lpBinaryPathName[0] == '\0' || lpdwTagId != nullptr ||
      dwStartType > SERVICE_DISABLED || dwErrorControl > SERVICE_ERROR_CRITICAL) {
    return FailHandle(ERROR_INVALID_PARAMETER);
  }
  if (!IsDriver(dwServiceType)) {
    ReportUnimplemented("CreateServiceA of a service that is not a driver");
    return FailHandle(ERROR_NOT_SUPPORTED);
  }
  if (!SpecificRights(dwDesiredAccess)) return FailHandle(ERROR_NOT_SUPPORTED);
  // The database keeps its records as JSON, whose strings are UTF-8: a driver in a folder whose name is
  // Latin-1, say, cannot be recorded, and would not be found again under another name.
  for (const char *text : {lpDisplayName ? lpDisplayName : "", lpBinaryPathName}) {
    if (IsUtf8(text)) continue;
    Diag("the service %s cannot be recorded: %s is not UTF-8", lpServiceName, text);
    return FailHandle(ERROR_INVALID_PARAMETER);
  }

  ScmSession session(manager->database);
  if (session.error()) return FailHandle(session.error());
  if (std::optional<ServiceRecord> existing = ReadCurrent(session, lpServiceName)) {
    return FailHandle(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
  }
  ServiceRecord record;
  record.id = NewServiceId();
  record.name = lpServiceName;
  record.displayName = lpDisplayName && lpDisplayName[0] ? lpDisplayName : lpServiceName;
  record.serviceType = dwServiceType;
  record.startType = dwStartType;
  record.errorControl = dwErrorControl;
  record.binaryPath = lpBinaryPathName;
  if (DWORD error = session.Write(record)) return FailHandle(error);
  RememberServiceOfThisProcess(manager->database, record.name, record.id);
  SetLastError(ERROR_SUCCESS);
  return ToScHandle(
      InsertHandle(std::make_shared<ServiceObject>(manager->database, record.name, record.id, dwDesiredAccess)));
}

extern "C" SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
  auto manager = LookupHandleAs<ServiceManagerObject>(hSCManager, HandleType::ServiceManager);
  if (!manager) return FailHandle(ERROR_INVALID_HANDLE);
  if (!IsValidServiceName(lpServiceName)) return FailHandle(ERROR_INVALID_NAME);
  ScmSession session(manager->database);
  if (session.error()) return FailHandle(session.error());
  std::optional<ServiceRecord> record = ReadCurrent(session, lpServiceName);
  if (!record) return FailHandle(ERROR_SERVICE_DOES_NOT_EXIST);
  if (!SpecificRights(dwDesiredAccess)) return FailHandle(ERROR_NOT_SUPPORTED);
  SetLastError(ERROR_SUCCESS);
  return ToScHandle(
      InsertHandle(std::make_shared<ServiceObject>(manager->database, record->name, record->id, dwDesiredAccess)));
}

extern "C" BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
  if (!CloseHandleOf(hSCObject, {HandleType::ServiceManager, HandleType::Service})) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD /*dwNumServiceArgs*/,
                                     LPCSTR * /*lpServiceArgVectors*/) {
  // Drivers get no start arguments.
  ServiceCall call;
  if (DWORD error = BeginServiceCall(hService, SERVICE_START, &call)) return Fail(error);
  ServiceRecord &record = call.record;
  if (record.markedForDelete) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
  const RunState state = RunStateOf(record);
  if (state == RunState::RunningHere) return Fail(ERROR_SERVICE_ALREADY_RUNNING);
  if (record.startType == SERVICE_DISABLED) return Fail(ERROR_SERVICE_DISABLED);
  if (!IsDriver(record.serviceType)) {
    ReportUnimplemented("StartServiceA of a service that is not a driver");
    return Fail(ERROR_NOT_SUPPORTED);
  }
  const std::string name = record.name, path = record.binaryPath;
  if (state == RunState::RunningElsewhere) {
    // On Windows a running driver's device is there for every process. Each process here has a kernel of
    // its own, so the driver that runs in another one is loaded into this one too; the service still runs
    // already, as the caller is told. Should the load fail, the driver has said why.
    call.session.reset();
    if (!IsDriverLoaded(name)) LoadDriver(name, path);
    return Fail(ERROR_SERVICE_ALREADY_RUNNING);
  }

  // The start is recorded before the driver loads, and the database is not held while it loads: a driver
  // may take long to start (a large machine to read), and other processes must see that it runs meanwhile
  // instead of waiting for it.
  record.running = true;
  record.starter = CurrentProcessIdentity();
  record.exitCode = ERROR_SUCCESS;
  if (DWORD error = call.session->Write(record)) return Fail(error);
  call.session.reset();
  RememberServiceOfThisProcess(call.handle->database, record.name, record.id);

  DWORD error = LoadDriver(name, path);
  // ERROR_SERVICE_ALREADY_RUNNING: this process kept the driver after another process recorded the service
  // stopped; it runs here again.
  if (error == ERROR_SERVICE_ALREADY_RUNNING) error = ERROR_SUCCESS;
  if (error == ERROR_SUCCESS) return TRUE;

  // A failed start is recorded, unless another process has changed the record meanwhile (stopped or
  // deleted the service, or re-created it).
  ScmSession session(call.handle->database);
  std::optional<ServiceRecord> now = session.error() ? std::nullopt : ReadCurrent(session, name);
  if (now && now->id == record.id && now->running && now->starter == record.starter) {
    RecordStopped(session, *now, error);
  }
  return Fail(error);
}

extern "C" BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
  if (lpServiceStatus == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (dwControl != SERVICE_CONTROL_STOP && dwControl != SERVICE_CONTROL_INTERROGATE) {
    ReportUnimplemented("ControlService with a control other than stop or interrogate");
    return Fail(ERROR_INVALID_SERVICE_CONTROL);  // what a driver answers to any other
  }
  const DWORD right = dwControl == SERVICE_CONTROL_STOP ? SERVICE_STOP : SERVICE_INTERROGATE;
  ServiceCall call;
  if (DWORD error = BeginServiceCall(hService, right, &call)) return Fail(error);
  const RunState state = RunStateOf(call.record);
  FillStatus(call.record, state, lpServiceStatus);
  if (state == RunState::Stopped) return Fail(ERROR_SERVICE_NOT_ACTIVE);
  if (dwControl == SERVICE_CONTROL_INTERROGATE) return TRUE;

  if (state == RunState::RunningHere) {
    if (DWORD error = UnloadDriver(call.record.name)) return Fail(error);
  }
  // Started by another live process: that process keeps its driver until it ends; the record says stopped.
  DWORD error = RecordStopped(*call.session, call.record, ERROR_SUCCESS);
  FillStatus(call.record, RunState::Stopped, lpServiceStatus);
  lpServiceStatus->dwWin32ExitCode = ERROR_SUCCESS;
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

extern "C" BOOL WINAPI DeleteService(SC_HANDLE hService) {
  ServiceCall call;
  if (DWORD error = BeginServiceCall(hService, DELETE, &call)) return Fail(error);
  if (call.record.markedForDelete) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
  DWORD error;
  if (RunStateOf(call.record) == RunState::Stopped) {
    error = call.session->Remove(call.record.name);
  } else {
    call.record.markedForDelete = true;  // removed when it stops, or when its process ends
    error = call.session->Write(call.record);
  }
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}
