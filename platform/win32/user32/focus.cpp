// The keyboard focus: one window at a time, moved with WM_KILLFOCUS to the old and WM_SETFOCUS to the new.
#include "kvplat/window.h"
#include "wnd_internal.h"

namespace {
HWND g_focus = nullptr;
}

extern "C" HWND WINAPI GetFocus(void) { return g_focus; }

extern "C" HWND WINAPI SetFocus(HWND hWnd) {
  if (hWnd && !kvplat::FindWindowState(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  HWND old = g_focus;
  if (hWnd == old) return old;
  g_focus = hWnd;
  if (old && kvplat::FindWindowState(old)) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
  if (hWnd && g_focus == hWnd) {
    // The dialog remembers its last focused control, to give the focus back when it is activated again.
    if (HWND dialog = kvplat::OwningDialog(hWnd); dialog && dialog != hWnd)
      kvplat::StateOf<kvplat::DialogState>(dialog)->lastFocus = hWnd;
    SendMessageA(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  }
  return old;
}
