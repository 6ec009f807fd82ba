// The process's handle table and Win32 paths (kvplat/kernel32.h), CreateFileA and CloseHandle over Linux
// files, and devices from user mode: CreateFileA("\\.\Name") and DeviceIoControl, whose requests are the I/O
// manager's. A path that another user could have changed (platform/host/opener.h) is refused with
// ERROR_ACCESS_DENIED, and a line on standard error says why, since Windows' answer says no more.
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "host/opener.h"
#include "kvplat/diag.h"
#include "kvplat/kernel.h"
#include "kvplat/kernel32.h"
#include "kvplat/lock.h"

namespace kvplat {

namespace {

// Indexed as Windows indexes a process's handle table: handle values are multiples of 4 from 4 on (0 and -1
// never name one). A closed handle's slot stays empty, so that its value is never handed out again.
struct HandleTable {
  Lock mutex;
  std::vector<std::shared_ptr<HandleObject>> slots;  // slots[value / 4 - 1]

  std::shared_ptr<HandleObject> *Find(const void *handle) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value % 4 != 0 || value == 0 || value / 4 > slots.size()) return nullptr;
    std::shared_ptr<HandleObject> &slot = slots[value / 4 - 1];
    return slot ? &slot : nullptr;
  }
};

// Never destroyed: handles stay valid while static destructors and atexit handlers run (a driver may close
// its own until the last is gone), and the objects stay reachable for the leak checker.
HandleTable &Table() {
  static HandleTable *table = new HandleTable;
  return *table;
}

struct FileObject : HandleObject {
  explicit FileObject(int fd) : HandleObject(HandleType::File), fd(fd) {}
  ~FileObject() override { ::close(fd); }
  int fd;
};

struct DeviceFileObject : HandleObject {
  DeviceFileObject(DeviceFileRef file, bool read, bool write)
      : HandleObject(HandleType::Device), file(std::move(file)), read(read), write(write) {}
  DeviceFileRef file;
  bool read, write;  // the access the handle was opened with
};

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

struct Remembered {
  std::mutex mutex;
  std::vector<std::string> paths;
};

Remembered &Paths() {
  static auto *paths = new Remembered;  // read until the process ends
  return *paths;
}

// With `to` '\', both separators as one, so that a path compares whichever way Windows code wrote it; with
// '/', the Linux path.
std::string Separated(std::string path, char to) {
  for (char &c : path)
    if (c == '/' || c == '\\') c = to;
  return path;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<HandleObject> object) {
  HandleTable &table = Table();
  std::lock_guard lock(table.mutex);
  table.slots.push_back(std::move(object));
  return reinterpret_cast<HANDLE>(table.slots.size() * 4);
}

std::shared_ptr<HandleObject> LookupHandle(const void *handle, HandleType type) {
  HandleTable &table = Table();
  std::lock_guard lock(table.mutex);
  const std::shared_ptr<HandleObject> *slot = table.Find(handle);
  if (slot == nullptr || (*slot)->type != type) return nullptr;
  return *slot;
}

bool CloseHandleOf(const void *handle, std::initializer_list<HandleType> types) {
  std::shared_ptr<HandleObject> closed;  // released after the lock, so a destructor may use the table
  HandleTable &table = Table();
  std::lock_guard lock(table.mutex);
  std::shared_ptr<HandleObject> *slot = table.Find(handle);
  if (slot == nullptr || std::find(types.begin(), types.end(), (*slot)->type) == types.end()) return false;
  closed = std::move(*slot);
  return true;
}

void RememberLinuxPath(const std::string &path) {
  if (path.empty()) return;
  Remembered &remembered = Paths();
  std::lock_guard<std::mutex> lock(remembered.mutex);
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  remembered.paths.push_back(trimmed);
}

std::string LinuxPath(const char *win32Path) {
  const std::string path = win32Path ? win32Path : "";
  std::vector<std::string> known;
  if (char *cwd = ::getcwd(nullptr, 0)) {
    known.push_back(cwd);
    std::free(cwd);
  }
  {
    Remembered &remembered = Paths();
    std::lock_guard<std::mutex> lock(remembered.mutex);
    known.insert(known.end(), remembered.paths.begin(), remembered.paths.end());
  }
  // The longest known path that the path begins with, as a whole component.
  const std::string folded = Separated(path, '\\');
  const std::string *best = nullptr;
  for (const std::string &k : known) {
    const std::string prefix = Separated(k, '\\');
    if (prefix == "\\" || folded.compare(0, prefix.size(), prefix) != 0) continue;
    if (folded.size() > prefix.size() && folded[prefix.size()] != '\\') continue;
    if (!best || k.size() > best->size()) best = &k;
  }
  if (!best) return Separated(path, '/');
  return *best + Separated(path.substr(best->size()), '/');
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
  // Specific rights of a file object (winnt.h: FILE_READ_DATA, FILE_WRITE_DATA, FILE_APPEND_DATA) count
  // with the generic ones.
  const bool read = dwDesiredAccess & (GENERIC_READ | GENERIC_ALL | 0x0001);
  const bool write = dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL | 0x0002 | 0x0004);
  const std::string path = LinuxPath(lpFileName);
  if (path.starts_with("//./")) {
    DeviceFileRef file;
    if (DWORD error = CreateDeviceFile(path.substr(4), &file)) return Fail(error);
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::make_shared<DeviceFileObject>(std::move(file), read, write));
  }
  // A file is opened to be read, as the program looks for its driver's.
  if (write || !read || dwCreationDisposition != OPEN_EXISTING) {
    ReportUnimplemented("CreateFileA of a file but to read an existing one");
    return Fail(ERROR_NOT_SUPPORTED);
  }
  kvhost::OpenFailure failure;
  kvhost::UniqueFd fd = kvhost::OpenPath(path, kvhost::OpenFor::kInput, &failure);
  if (!fd.valid()) return Fail(OpenError(path, failure));
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(std::make_shared<FileObject>(fd.release()));
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
  // Service handles are not kernel handles: CloseServiceHandle closes them.
  if (!CloseHandleOf(hObject, {HandleType::File, HandleType::Device})) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                       DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                                       LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  auto file = LookupHandleAs<DeviceFileObject>(hDevice, HandleType::Device);
  if (!file) {
    // A file handle reaches its file system, which knows none of these control codes.
    SetLastError(LookupHandle(hDevice, HandleType::File) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpOverlapped != nullptr) {  // every request here completes synchronously
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The access bits of the control code name the rights that the handle must have been opened with.
  const DWORD required = (dwIoControlCode >> 14) & 3;
  if (((required & FILE_READ_ACCESS) && !file->read) || ((required & FILE_WRITE_ACCESS) && !file->write)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD returned = 0;
  DWORD error = SendDeviceControl(*file->file, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                  nOutBufferSize, &returned);
  if (lpBytesReturned) *lpBytesReturned = returned;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}
