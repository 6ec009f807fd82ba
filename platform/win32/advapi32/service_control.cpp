// Starting, stopping, deleting and querying a service. A kernel driver service runs in the process that
// started it: its start loads the driver module here, its stop unloads it.
#include <windows.h>
#include <winsvc.h>

#include "kvplat/diag.h"
#include "kvplat/io_manager.h"
#include "scm_handles.h"

using namespace kvplat;

namespace {

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

bool IsDriver(const ServiceRecord &record) {
  return record.serviceType == SERVICE_KERNEL_DRIVER || record.serviceType == SERVICE_FILE_SYSTEM_DRIVER;
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

// The record after a stop: not running, and gone when it was marked for deletion.
DWORD RecordStopped(const ServiceCall &call) {
  if (call.record.markedForDelete) return call.session->Remove(call.record.name);
  ServiceRecord stopped = call.record;
  stopped.running = false;
  stopped.starter = ProcessIdentity{};
  stopped.exitCode = ERROR_SUCCESS;
  return call.session->Write(stopped);
}

}  // namespace

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
  if (!IsDriver(record)) {
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
    now->running = false;
    now->starter = ProcessIdentity{};
    now->exitCode = error;
    if (now->markedForDelete) {
      session.Remove(name);
    } else {
      session.Write(*now);
    }
  }
  return Fail(error);
}

extern "C" BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
  if (lpServiceStatus == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  DWORD right;
  switch (dwControl) {
    case SERVICE_CONTROL_STOP: right = SERVICE_STOP; break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE: right = SERVICE_PAUSE_CONTINUE; break;
    case SERVICE_CONTROL_INTERROGATE: right = SERVICE_INTERROGATE; break;
    default:
      if (dwControl < 128 || dwControl > 255) return Fail(ERROR_INVALID_PARAMETER);
      right = SERVICE_USER_DEFINED_CONTROL;
  }
  ServiceCall call;
  if (DWORD error = BeginServiceCall(hService, right, &call)) return Fail(error);
  const RunState state = RunStateOf(call.record);
  FillStatus(call.record, state, lpServiceStatus);
  if (state == RunState::Stopped) return Fail(ERROR_SERVICE_NOT_ACTIVE);
  if (dwControl == SERVICE_CONTROL_INTERROGATE) return TRUE;
  if (dwControl != SERVICE_CONTROL_STOP) return Fail(ERROR_INVALID_SERVICE_CONTROL);  // drivers only stop

  if (state == RunState::RunningHere) {
    if (DWORD error = UnloadDriver(call.record.name)) return Fail(error);
  }
  // Started by another live process: that process keeps its driver until it ends; the record says stopped.
  DWORD error = RecordStopped(call);
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
