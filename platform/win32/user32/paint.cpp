// Painting as far as the program goes: BeginPaint/EndPaint, the icon of a minimised window, its size.
// Front ends draw controls from the window state; a device context here is only a handle that
// BeginPaint gave out and EndPaint takes back.
#include <set>

#include "kvplat/diag.h"
#include "kvplat/resources.h"
#include "kvplat/window.h"
#include "wnd_internal.h"

namespace kvplat {

namespace {
std::set<HDC> g_deviceContexts;
uintptr_t g_nextDc = 0x20010;
}  // namespace

LRESULT SetWindowIcon(HWND hwnd, WPARAM which, LPARAM icon) {
  Window *w = FindWindowState(hwnd);
  HICON &slot = which == ICON_BIG ? w->iconBig : w->iconSmall;
  HICON old = slot;
  slot = reinterpret_cast<HICON>(icon);
  InvalidateWindow(hwnd);
  return reinterpret_cast<LRESULT>(old);
}

}  // namespace kvplat

extern "C" {

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  if (!kvplat::FindWindowState(hWnd) || !lpPaint) return nullptr;
  HDC dc = reinterpret_cast<HDC>(kvplat::g_nextDc);
  kvplat::g_nextDc += 0x10;
  kvplat::g_deviceContexts.insert(dc);
  *lpPaint = PAINTSTRUCT{};
  lpPaint->hdc = dc;
  GetClientRect(hWnd, &lpPaint->rcPaint);
  return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *lpPaint) {
  if (lpPaint) kvplat::g_deviceContexts.erase(lpPaint->hdc);
  return TRUE;
}

BOOL WINAPI DrawIcon(HDC hDC, int, int, HICON hIcon) {
  if (!kvplat::g_deviceContexts.count(hDC) || !kvplat::IconFromHandle(hIcon)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The icon of a minimised window is drawn by the window manager of the front end, not into a bitmap here.
  return TRUE;
}

// The icon size, which a minimised dialog centres its icon by; the program asks for no other metric.
int WINAPI GetSystemMetrics(int nIndex) {
  if (nIndex == SM_CXICON || nIndex == SM_CYICON) return 32;
  kvplat::ReportUnimplemented("GetSystemMetrics: a metric other than SM_CXICON, SM_CYICON");
  return 0;
}

}  // extern "C"
