// Painting as far as the program goes: BeginPaint/EndPaint, the icon of a minimised window, system metrics.
// Front ends draw controls from the window state; a device context here is only a handle that
// BeginPaint gave out and EndPaint takes back.
#include <set>

#include "kvplat/frontend.h"
#include "kvplat/icon.h"
#include "kvplat/listview.h"
#include "kvplat/window.h"
#include "wnd_internal.h"

namespace kvplat {

namespace {
std::set<HDC> g_deviceContexts;
uintptr_t g_nextDc = 0x20010;
}  // namespace

LRESULT WindowIcon(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window *w = FindWindowState(hwnd);
  if (!w) return 0;
  HICON &slot = wParam == ICON_BIG ? w->iconBig : w->iconSmall;
  HICON old = slot;
  if (msg == WM_SETICON) {
    slot = reinterpret_cast<HICON>(lParam);
    InvalidateWindow(hwnd);
  }
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

int WINAPI GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN: return 1280;
    case SM_CYSCREEN: return 1024;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return kvplat::ScaleForDpi(kvplat::kScrollBarSize);
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
  }
  return 0;
}

}  // extern "C"
