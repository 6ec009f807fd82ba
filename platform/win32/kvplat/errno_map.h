// Where Win32 meets the Linux calls beneath it: errno values as Win32 error codes, Win32 paths as Linux
// paths.
#pragma once
#include <windows.h>

#include <string>

namespace kvplat {

// The Win32 code that Windows reports for the same failure (ENOENT 2, ENOTDIR 3, EACCES 5, ...);
// ERROR_GEN_FAILURE for an errno without a Windows counterpart.
DWORD Win32ErrorFromErrno(int error);

// A Win32 path as a Linux path: `\` and `/` are both separators, so "<directory>\KELVORANT.sys" names the
// file KELVORANT.sys in that directory.
std::string LinuxPath(const char *win32Path);

}  // namespace kvplat
