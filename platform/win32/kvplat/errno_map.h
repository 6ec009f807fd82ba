// Where Win32 and the NT kernel meet the Linux calls beneath them: errno values as Win32 errors and as
// NTSTATUS, an NTSTATUS as a Win32 error (one table, error_codes.cpp), Win32 paths as Linux paths.
#pragma once
#include <windows.h>

#include <ddk/ntddk.h>

#include <string>

namespace kvplat {

// The Win32 code that Windows reports for the same failure (ENOENT 2, ENOTDIR 3, EACCES 5, ...);
// ERROR_GEN_FAILURE for an errno without a Windows counterpart.
DWORD Win32ErrorFromErrno(int error);

// The NTSTATUS that the NT kernel's routines answer for the same failure (ENOENT STATUS_OBJECT_NAME_NOT_FOUND,
// ...); STATUS_UNSUCCESSFUL for an errno without one.
NTSTATUS NtStatusFromErrno(int error);

// RtlNtStatusToDosError: the Win32 error for an NTSTATUS.
DWORD NtStatusToDosError(NTSTATUS status);

// A Win32 path as a Linux path: `\` and `/` are both separators, so "<directory>\KELVORANT.sys" names the
// file KELVORANT.sys in that directory. A Linux name may hold a backslash, though, and Windows code that
// was handed such a path (the current directory, the machine's file) joins it with "\" and may split it
// again at every separator: a path that begins with one of those, written either way, names the file in
// that Linux folder, whatever its name holds.
std::string LinuxPath(const char *win32Path);

// A Linux path (a file or a folder) that the platform hands to Windows code; the current directory is
// known without this.
void RememberLinuxPath(const std::string &path);

}  // namespace kvplat
