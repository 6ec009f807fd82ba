// Module names and handles of the executable. Driver modules are not user-mode modules and have no HMODULE.
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <strings.h>

#include "kvplat/errno_map.h"

namespace {

// The image base that Windows linkers give an executable: a fixed, recognisable, non-null HMODULE.
const HMODULE kExecutableModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));

// The executable's path, or empty with errno set.
std::string ExecutablePath() {
  std::string path(256, '\0');
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(static_cast<size_t>(n));
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  if (hModule != nullptr && hModule != kExecutableModule) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  const std::string path = ExecutablePath();
  if (path.empty()) {
    SetLastError(kvplat::Win32ErrorFromErrno(errno));
    return 0;
  }
  if (nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (lpFilename == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return 0;
  }
  if (path.size() + 1 > nSize) {
    // Truncated and still terminated; the result is the buffer size, as on Windows Vista and later.
    std::memcpy(lpFilename, path.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  std::memcpy(lpFilename, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (lpModuleName == nullptr) return kExecutableModule;
  // The executable also answers to its own file name, with or without the ".exe" that Windows would show.
  const std::string path = ExecutablePath();
  const std::string base = path.substr(path.find_last_of('/') + 1);
  const std::string wanted = lpModuleName;
  if (!base.empty() && (::strcasecmp(wanted.c_str(), base.c_str()) == 0 ||
                        ::strcasecmp(wanted.c_str(), (base + ".exe").c_str()) == 0)) {
    return kExecutableModule;
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}
