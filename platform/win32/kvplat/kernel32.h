// What kernel32 shares with advapi32 and the kernel: the process's handle table, the one table of error
// codes where Win32 and the NT kernel meet the Linux calls beneath them (error_codes.cpp), and Win32 paths
// as Linux paths.
#pragma once
#include <windows.h>

#include <ddk/ntddk.h>

#include <initializer_list>
#include <memory>
#include <string>

namespace kvplat {

// kernel32's file and device handles, advapi32's service handles and the kernel's handles of a driver
// (ZwCreateFile, ZwOpenKey, ObOpenObjectByPointer) are typed entries of one table; a handle of another type,
// or one that was closed, is invalid. Values are never reused, so a stale handle reaches nothing opened later.
enum class HandleType { File, Device, ServiceManager, Service, KernelFile, KernelKey, KernelDevice };

struct HandleObject {
  explicit HandleObject(HandleType type) : type(type) {}
  virtual ~HandleObject() = default;
  const HandleType type;
};

// Enters `object` into the table: its handle, a nonzero multiple of 4.
HANDLE InsertHandle(std::shared_ptr<HandleObject> object);

// The object behind `handle` when it is open and of type `type`, else null.
std::shared_ptr<HandleObject> LookupHandle(const void *handle, HandleType type);

template <class T>
std::shared_ptr<T> LookupHandleAs(const void *handle, HandleType type) {
  return std::static_pointer_cast<T>(LookupHandle(handle, type));
}

// Removes `handle` when it is open and of one of `types`; returns whether it was.
bool CloseHandleOf(const void *handle, std::initializer_list<HandleType> types);

// The Win32 code that Windows reports for the same failure (ENOENT 2, ENOTDIR 3, EACCES 5, ...);
// ERROR_GEN_FAILURE for an errno without a Windows counterpart.
DWORD Win32ErrorFromErrno(int error);

// The NTSTATUS that the kernel's routines answer for the same failure; STATUS_UNSUCCESSFUL without one.
NTSTATUS NtStatusFromErrno(int error);

// RtlNtStatusToDosError: the Win32 error for an NTSTATUS.
DWORD NtStatusToDosError(NTSTATUS status);

// A Win32 path as a Linux path: `\` and `/` are both separators, so "<directory>\KELVORANT.sys" names the
// file KELVORANT.sys in that directory. A Linux name may hold a backslash, though, and Windows code that
// was handed such a path (the current directory, the machine's file) joins it with "\" and may split it
// again at every separator: a path that begins with one of those, written either way, names the file in
// that Linux folder, whatever its name holds.
std::string LinuxPath(const char *win32Path);

// A Linux path (a file or a folder) that the platform hands to Windows code, besides the current directory.
void RememberLinuxPath(const std::string &path);

}  // namespace kvplat
