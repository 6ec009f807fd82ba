// CreateFileA, ReadFile, WriteFile and CloseHandle over Linux files; "\\.\Name" opens a device instead.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "kernel_objects.h"
#include "kvplat/errno_map.h"

namespace kvplat {

namespace {

// Specific rights of a file object (winnt.h), accepted alongside the generic ones.
constexpr DWORD kFileReadData = 0x0001;
constexpr DWORD kFileWriteData = 0x0002;
constexpr DWORD kFileAppendData = 0x0004;
constexpr DWORD kFileFlagBackupSemantics = 0x02000000;

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// Windows tells a missing file (2) from a missing directory on the way to it (3).
DWORD OpenErrorFor(const std::string &path, int error) {
  if (error == ENOENT) {
    std::string::size_type slash = path.find_last_of('/');
    std::string parent = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    struct stat st;
    if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  }
  return Win32ErrorFromErrno(error);
}

int OpenFlags(FileAccess access) {
  if (access.read && access.write) return O_RDWR;
  if (access.write) return O_WRONLY;
  return O_RDONLY;
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
                                     DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
  // Sharing modes are not enforced: nothing else in this process opens the same files.
  if (lpFileName == nullptr || lpFileName[0] == '\0') return Fail(ERROR_PATH_NOT_FOUND);
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::string path = LinuxPath(lpFileName);
  if (path.rfind("//./", 0) == 0) return OpenDeviceFile(path.substr(4), dwDesiredAccess);

  const FileAccess access = FileAccessFromDesired(dwDesiredAccess);
  if (dwCreationDisposition == TRUNCATE_EXISTING && !access.write) return Fail(ERROR_INVALID_PARAMETER);

  const int base = OpenFlags(access) | O_CLOEXEC;
  const mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  bool existed = false;
  int fd = -1;
  switch (dwCreationDisposition) {
    case CREATE_NEW:
      fd = ::open(path.c_str(), base | O_CREAT | O_EXCL, mode);
      break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: {
      // Create first, so that "did it exist" is answered by the same call that opens it.
      fd = ::open(path.c_str(), base | O_CREAT | O_EXCL, mode);
      if (fd < 0 && errno == EEXIST) {
        existed = true;
        fd = ::open(path.c_str(), base | (dwCreationDisposition == CREATE_ALWAYS ? O_TRUNC : 0));
      }
      break;
    }
    case OPEN_EXISTING:
      fd = ::open(path.c_str(), base);
      break;
    case TRUNCATE_EXISTING:
      fd = ::open(path.c_str(), base | O_TRUNC);
      break;
  }
  if (fd < 0) return Fail(OpenErrorFor(path, errno));

  struct stat st;
  if (::fstat(fd, &st) != 0 || (S_ISDIR(st.st_mode) && !(dwFlagsAndAttributes & kFileFlagBackupSemantics))) {
    ::close(fd);
    return Fail(ERROR_ACCESS_DENIED);
  }
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return InsertHandle(std::make_shared<FileObject>(fd, access));
}

namespace {

// The file behind a handle for ReadFile/WriteFile, or null with the last error set: a device handle reaches
// its driver's read or write routine, which no driver here has.
std::shared_ptr<FileObject> FileForTransfer(HANDLE handle, const OVERLAPPED *overlapped, const void *buffer,
                                            DWORD size) {
  auto file = LookupHandleAs<FileObject>(handle, HandleType::File);
  if (!file) {
    SetLastError(LookupHandle(handle, HandleType::Device) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (overlapped != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (buffer == nullptr && size != 0) {
    SetLastError(ERROR_NOACCESS);
    return nullptr;
  }
  return file;
}

}  // namespace

extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  auto file = FileForTransfer(hFile, lpOverlapped, lpBuffer, nNumberOfBytesToRead);
  if (!file) return FALSE;
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (!file->access.read) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD done = 0;
  auto *bytes = static_cast<char *>(lpBuffer);
  while (done < nNumberOfBytesToRead) {
    ssize_t n = ::read(file->fd, bytes + done, nNumberOfBytesToRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(Win32ErrorFromErrno(errno));
      return FALSE;
    }
    if (n == 0) break;  // end of file: success with fewer bytes
    done += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  return TRUE;
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  auto file = FileForTransfer(hFile, lpOverlapped, lpBuffer, nNumberOfBytesToWrite);
  if (!file) return FALSE;
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (!file->access.write) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD done = 0;
  const auto *bytes = static_cast<const char *>(lpBuffer);
  while (done < nNumberOfBytesToWrite) {
    ssize_t n = ::write(file->fd, bytes + done, nNumberOfBytesToWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
      SetLastError(Win32ErrorFromErrno(errno));
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  return TRUE;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
  // Service handles are not kernel handles: CloseServiceHandle closes them.
  if (!CloseHandleOf(hObject, {HandleType::File, HandleType::Device})) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
