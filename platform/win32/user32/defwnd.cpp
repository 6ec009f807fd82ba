// DefWindowProcA: what Windows does with a message that a window procedure passes on; and painting as far as
// the program goes: BeginPaint/EndPaint, the icon of a minimised window, its size. Front ends draw controls
// from the window state; a device context here is only a handle that BeginPaint gave out and EndPaint takes
// back.
#include <cstdio>
#include <set>
#include <utility>

#include "kvplat/diag.h"
#include "kvplat/frontend.h"
#include "kvplat/resources.h"
#include "kvplat/window.h"
#include "wnd_internal.h"

namespace {

// A message that no procedure on the way implements: said loudly; the caller returns 0. Every window
// procedure passes what it does not handle to DefWindowProcA, as Windows' own controls do, so this is the
// one place that says it.
void ReportUnimplementedMessage(HWND hwnd, UINT msg) {
  const kvplat::Window *w = kvplat::FindWindowState(hwnd);
  char what[96];
  std::snprintf(what, sizeof what, "message 0x%04x to a %s window", msg, w ? w->className.c_str() : "unknown");
  kvplat::ReportUnimplemented(what);
}

std::set<HDC> g_deviceContexts;
uintptr_t g_nextDc = 0x20010;
}  // namespace

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  kvplat::Window *w = kvplat::FindWindowState(hWnd);
  if (!w) return 0;
  switch (Msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CREATE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_COMMAND:
    case WM_NOTIFY:
      return 0;
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<const char *>(lParam) : "";
      kvplat::InvalidateWindow(hWnd);
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hWnd, &ps);
      EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_ICONERASEBKGND:
      return 1;
    case WM_SETICON: {
      HICON &slot = wParam == ICON_BIG ? w->iconBig : w->iconSmall;
      HICON old = std::exchange(slot, reinterpret_cast<HICON>(lParam));
      kvplat::InvalidateWindow(hWnd);
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hWnd, WM_CLOSE, 0, 0);
      return 0;
  }
  ReportUnimplementedMessage(hWnd, Msg);
  return 0;
}

extern "C" {

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  if (!kvplat::FindWindowState(hWnd) || !lpPaint) return nullptr;
  HDC dc = reinterpret_cast<HDC>(g_nextDc);
  g_nextDc += 0x10;
  g_deviceContexts.insert(dc);
  *lpPaint = PAINTSTRUCT{};
  lpPaint->hdc = dc;
  GetClientRect(hWnd, &lpPaint->rcPaint);
  return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *lpPaint) {
  if (lpPaint) g_deviceContexts.erase(lpPaint->hdc);
  return TRUE;
}

BOOL WINAPI DrawIcon(HDC hDC, int, int, HICON hIcon) {
  if (!g_deviceContexts.count(hDC) || !kvplat::IconFromHandle(hIcon)) {
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
