// DefWindowProcA: what Windows does with a message that a window procedure passes on.
#include <cstdio>
#include <cstring>

#include "kvplat/diag.h"
#include "kvplat/frontend.h"
#include "kvplat/window.h"
#include "wnd_internal.h"

namespace kvplat {

LRESULT CopyWindowText(const std::string &text, WPARAM bufferSize, LPARAM buffer) {
  char *out = reinterpret_cast<char *>(buffer);
  if (!out || bufferSize == 0) return 0;
  size_t n = std::min<size_t>(text.size(), bufferSize - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<LRESULT>(n);
}

void ReportUnimplementedMessage(HWND hwnd, UINT msg) {
  Window *w = FindWindowState(hwnd);
  char what[96];
  std::snprintf(what, sizeof what, "message 0x%04x to a %s window", msg, w ? w->className.c_str() : "unknown");
  ReportUnimplemented(what);
}

void InvalidateWindow(HWND hwnd) { ActiveFrontEnd().Invalidate(hwnd); }

}  // namespace kvplat

using kvplat::FindWindowState;
using kvplat::Window;

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Window *w = FindWindowState(hWnd);
  if (!w) return 0;
  switch (Msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CREATE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_MOVE:
    case WM_SIZE:
    case WM_ACTIVATE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SHOWWINDOW:
    case WM_SETFONT:
    case WM_GETFONT:
    case WM_GETDLGCODE:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_QUERYDRAGICON:
      return 0;
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<const char *>(lParam) : "";
      kvplat::InvalidateWindow(hWnd);
      return TRUE;
    case WM_GETTEXT:
      return kvplat::CopyWindowText(w->text, wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
    case WM_SETREDRAW:
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hWnd, &ps);
      EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
    case WM_ICONERASEBKGND:
      return 1;
    case WM_SETICON:
    case WM_GETICON:
      return kvplat::WindowIcon(hWnd, Msg, wParam, lParam);
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
