// The predefined control classes. Button: push buttons (BN_CLICKED on a click or Space) and group boxes
// (never focused). Edit, single-line: the program's edits are read-only, so it keeps a text and a selection
// that can be copied, and nothing types into it (no WM_CHAR reaches it).
#include <algorithm>

#include "kvplat/window.h"
#include "wnd_internal.h"

namespace kvplat {

namespace {

bool IsGroupBox(const Window *w) { return (w->style & BS_TYPEMASK) == BS_GROUPBOX; }

void NotifyClicked(HWND hwnd) {
  Window *w = FindWindowState(hwnd);
  SendMessageA(w->parent, WM_COMMAND, MAKEWPARAM(w->id, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
}

void SetPushed(HWND hwnd, bool pushed) {
  auto *state = StateOf<ButtonState>(hwnd);
  if (state->pushed == pushed) return;
  state->pushed = pushed;
  InvalidateWindow(hwnd);
}

}  // namespace

LRESULT CALLBACK ButtonWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window *w = FindWindowState(hwnd);
  auto *state = StateOf<ButtonState>(hwnd);
  if (!w || !state) return 0;
  switch (msg) {
    case WM_GETDLGCODE:
      if (IsGroupBox(w)) return DLGC_STATIC;
      return DLGC_BUTTON |
             ((w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_LBUTTONDOWN:
      if (IsGroupBox(w)) return 0;
      SetFocus(hwnd);
      if (IsWindow(hwnd)) SetPushed(hwnd, true);
      return 0;
    case WM_LBUTTONUP:
      if (IsGroupBox(w) || !state->pushed) return 0;
      SetPushed(hwnd, false);
      NotifyClicked(hwnd);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) SetPushed(hwnd, true);
      return 0;
    case WM_KEYUP:
      if (wParam == VK_SPACE && state->pushed) {
        SetPushed(hwnd, false);
        NotifyClicked(hwnd);
      }
      return 0;
    case BM_SETSTATE:
      // The highlight of a button held by the mouse, without a click (the mouse moved off it).
      if (!IsGroupBox(w)) SetPushed(hwnd, wParam != 0);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (msg == WM_KILLFOCUS) state->pushed = false;
      InvalidateWindow(hwnd);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK EditWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window *w = FindWindowState(hwnd);
  auto *state = StateOf<EditState>(hwnd);
  if (!w || !state) return 0;
  const int length = static_cast<int>(w->text.size());
  switch (msg) {
    case WM_GETDLGCODE:
      return DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_SETTEXT:
      DefWindowProcA(hwnd, msg, wParam, lParam);
      state->selectionStart = state->selectionEnd = 0;
      return TRUE;
    case EM_SETSEL: {
      int start = static_cast<int>(wParam), end = static_cast<int>(lParam);
      if (start < 0) start = end = 0;
      if (end < 0 || end > length) end = length;
      state->selectionStart = std::min(std::max(start, 0), length);
      state->selectionEnd = end;
      InvalidateWindow(hwnd);
      return 0;
    }
    case WM_LBUTTONDOWN:
      SetFocus(hwnd);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_HOME || wParam == VK_LEFT) state->selectionStart = state->selectionEnd = 0;
      if (wParam == VK_END || wParam == VK_RIGHT) state->selectionStart = state->selectionEnd = length;
      InvalidateWindow(hwnd);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateWindow(hwnd);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace kvplat
