// The process: its last error, its executable's module, its current directory, the debugger's output,
// MulDiv, and the end of a run cut short.
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "kvplat/diag.h"
#include "kvplat/kernel32.h"

namespace {

// The last-error value: one per thread, as in the thread environment block.
thread_local DWORD t_lastError = ERROR_SUCCESS;

// The image base that Windows linkers give an executable: a fixed, recognisable, non-null HMODULE. Driver
// modules are not user-mode modules and have no HMODULE.
const HMODULE kExecutableModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));

// Memory held back from the start, so that a run whose memory ran out can still say so and remove its
// records: the frames that the exception left (a driver has no destructors to run) keep theirs.
constexpr size_t kReserveBytes = size_t{1} << 20;
char *g_reserve = new char[kReserveBytes];

}  // namespace

extern "C" DWORD WINAPI GetLastError(void) { return t_lastError; }

extern "C" void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  if (hModule != nullptr && hModule != kExecutableModule) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n < 0 || static_cast<size_t>(n) == path.size()) {
    SetLastError(n < 0 ? kvplat::Win32ErrorFromErrno(errno) : ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  path.resize(static_cast<size_t>(n));
  if (nSize == 0 || lpFilename == nullptr) {
    SetLastError(nSize == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_NOACCESS);
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
  kvplat::ReportUnimplemented("GetModuleHandleA of a module by its name");
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

// The Linux path of the working directory, unchanged: the program appends "\NAME" to it and CreateFileA
// takes either separator.
extern "C" DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  const std::unique_ptr<char, void (*)(void *)> directory(::getcwd(nullptr, 0), std::free);
  if (!directory) {
    SetLastError(kvplat::Win32ErrorFromErrno(errno));
    return 0;
  }
  const size_t length = std::strlen(directory.get());
  // Too small: the size needed, counting the terminating zero; the buffer is not touched.
  if (length + 1 > nBufferLength) return static_cast<DWORD>(length + 1);
  if (lpBuffer == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return 0;
  }
  std::memcpy(lpBuffer, directory.get(), length + 1);
  return static_cast<DWORD>(length);
}

// What Windows hands to a debugger goes, as the kernel's DbgPrintEx does, to the platform's diagnostics on
// standard error, one line without its line end.
extern "C" void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  std::string text = lpOutputString ? lpOutputString : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  kvplat::Diag("%s", text.c_str());
}

// nNumber * nNumerator / nDenominator with a 64-bit intermediate, rounded half away from zero (the half
// being nDenominator / 2 in integers). -1 when the denominator is 0 or the result does not fit in 32 bits,
// where -2147483648 counts as not fitting.
extern "C" int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
  if (nDenominator == 0) return -1;
  int64_t product = static_cast<int64_t>(nNumber) * nNumerator;
  int64_t denominator = nDenominator;
  if (denominator < 0) {
    denominator = -denominator;
    product = -product;
  }
  const int64_t half = denominator / 2;
  const int64_t result = product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
  if (result > 2147483647LL || result < -2147483647LL) return -1;
  return static_cast<int>(result);
}

namespace kvplat {

void ReleaseMemoryReserve() {
  delete[] g_reserve;
  g_reserve = nullptr;
}

void EndRunNow(int status) {
  ReleaseMemoryReserve();
  std::fflush(stdout);
  // The at_quick_exit handlers are the platform's clean-ups for a run cut short (the service manager's).
  std::quick_exit(status);
}

}  // namespace kvplat
