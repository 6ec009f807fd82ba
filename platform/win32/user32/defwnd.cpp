// DefWindowProcA: what Windows does with a message that a window procedure passes on.
#include <cstdio>

#include "kvplat/diag.h"
#include "kvplat/frontend.h"
#include "kvplat/window.h"
#include "wnd_internal.h"

namespace kvplat {

void ReportUnimplementedMessage(HWND hwnd, UINT msg) {
  Window *w = FindWindowState(hwnd);
  char what[96];
  std::snprintf(what, sizeof what, "message 0x%04x to a %s window", msg, w ? w->className.c_str() : "unknown");
  ReportUnimplemented(what);
}

void InvalidateWindow(HWND hwnd) { ActiveFrontEnd().Invalidate(hwnd); }

}  // namespace kvplat

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  kvplat::Window *w = kvplat::FindWindowState(hWnd);
  if (!w) return 0;
  switch (Msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CREATE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_SIZE:
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
    case WM_SETICON:
      return kvplat::SetWindowIcon(hWnd, wParam, lParam);
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hWnd, WM_CLOSE, 0, 0);
      return 0;
  }
  kvplat::ReportUnimplementedMessage(hWnd, Msg);
  return 0;
}
