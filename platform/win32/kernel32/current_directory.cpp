#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "kvplat/errno_map.h"

// The Linux path of the working directory, unchanged: the program appends "\NAME" to it and CreateFileA
// takes either separator.
extern "C" DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  char *directory = ::getcwd(nullptr, 0);
  if (directory == nullptr) {
    SetLastError(kvplat::Win32ErrorFromErrno(errno));
    return 0;
  }
  const size_t length = std::strlen(directory);
  DWORD result;
  if (length + 1 > nBufferLength) {
    // Too small: the size needed, counting the terminating zero; the buffer is not touched.
    result = static_cast<DWORD>(length + 1);
  } else if (lpBuffer == nullptr) {
    SetLastError(ERROR_NOACCESS);
    result = 0;
  } else {
    std::memcpy(lpBuffer, directory, length + 1);
    result = static_cast<DWORD>(length);
  }
  std::free(directory);
  return result;
}
