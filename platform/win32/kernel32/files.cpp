// CreateFileA and CloseHandle over Linux files; "\\.\Name" opens a device instead. A file
// is opened through the host's one opener (platform/host/opener.h): a path that another user could have
// changed is refused with ERROR_ACCESS_DENIED, and a line on standard error says why, since Windows' answer
// says no more.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "host/opener.h"
#include "kernel_objects.h"
#include "kvplat/diag.h"
#include "kvplat/errno_map.h"
#include "kvplat/run_end.h"

namespace kvplat {

namespace {

// Specific rights of a file object (winnt.h), accepted alongside the generic ones.
constexpr DWORD kFileReadData = 0x0001;
constexpr DWORD kFileWriteData = 0x0002;
constexpr DWORD kFileAppendData = 0x0004;

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// The Win32 error of a failed open, after the line that says why when Windows would not have refused it.
DWORD OpenError(const std::string &path, const kvhost::OpenFailure &failure) {
  if (failure.isOutput) {
    Diag("%s %s: a file that the run writes is never one of its inputs", path.c_str(), failure.why.c_str());
    EndRunNow(kExitPlatformFailure);
  }
  if (failure.type == S_IFDIR) return ERROR_ACCESS_DENIED;  // Windows refuses a directory opened as a file
  if (failure.type || failure.untrusted || failure.error == EMFILE || failure.error == ENFILE) {
    Diag("%s is not opened: it %s", path.c_str(), failure.why.c_str());
    if (!failure.type && !failure.untrusted) return Win32ErrorFromErrno(failure.error);
    return ERROR_ACCESS_DENIED;
  }
  // Windows tells a missing file (2) from a missing directory on the way to it (3).
  if (failure.missingFolder) return ERROR_PATH_NOT_FOUND;
  return Win32ErrorFromErrno(failure.error);
}

}  // namespace

FileAccess FileAccessFromDesired(DWORD desiredAccess) {
  FileAccess access;
  access.read = (desiredAccess & (GENERIC_READ | GENERIC_ALL | kFileReadData)) != 0;
  access.write = (desiredAccess & (GENERIC_WRITE | GENERIC_ALL | kFileWriteData | kFileAppendData)) != 0;
  return access;
}

}  // namespace kvplat

using namespace kvplat;

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                                     LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                                     DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/) {
  // Sharing modes are not enforced: nothing else in this process opens the same files.
  if (lpFileName == nullptr || lpFileName[0] == '\0') return Fail(ERROR_PATH_NOT_FOUND);
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::string path = LinuxPath(lpFileName);
  if (path.rfind("//./", 0) == 0) return OpenDeviceFile(path.substr(4), dwDesiredAccess);

  const FileAccess access = FileAccessFromDesired(dwDesiredAccess);
  if (dwCreationDisposition == TRUNCATE_EXISTING && !access.write) return Fail(ERROR_INVALID_PARAMETER);
  // A file is read as it is, or written from its start (created when the disposition allows).
  const bool creates = dwCreationDisposition != OPEN_EXISTING && dwCreationDisposition != TRUNCATE_EXISTING;
  if (access.read == access.write || access.read == creates) {
    ReportUnimplemented("CreateFileA of a file but to read an existing one or to write one it may create");
    return Fail(ERROR_NOT_SUPPORTED);
  }
  kvhost::OpenFailure failure;
  struct stat st;
  kvhost::UniqueFd fd = kvhost::OpenPath(path, access.write ? kvhost::OpenFor::kOutput : kvhost::OpenFor::kInput,
                                         &failure, &st);
  if (!fd.valid()) return Fail(OpenError(path, failure));
  const bool existed = access.write && !failure.created;
  if (dwCreationDisposition == CREATE_NEW && existed) return Fail(ERROR_FILE_EXISTS);
  if (dwCreationDisposition == CREATE_ALWAYS && S_ISREG(st.st_mode) && ::ftruncate(fd.get(), 0) != 0)
    return Fail(Win32ErrorFromErrno(errno));
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return InsertHandle(std::make_shared<FileObject>(fd.release(), access));
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
  // Service handles are not kernel handles: CloseServiceHandle closes them.
  if (!CloseHandleOf(hObject, {HandleType::File, HandleType::Device})) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
