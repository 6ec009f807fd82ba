// The thread's last-error value belongs to kernel32. These weak definitions let the resource tests link
// against a platform library built without it; kernel32's own definitions take precedence when present.
#include <windows.h>

namespace {
thread_local DWORD g_lastError = 0;
}

extern "C" {
__attribute__((weak)) DWORD WINAPI GetLastError(void) { return g_lastError; }
__attribute__((weak)) void WINAPI SetLastError(DWORD dwErrCode) { g_lastError = dwErrCode; }
}
