// The dialog manager: modal dialogs built from a dialog template, DefDlgProcA, EndDialog.
#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "kvplat/diag.h"
#include "kvplat/frontend.h"
#include "kvplat/resources.h"
#include "kvplat/window.h"
#include "wnd_internal.h"

namespace kvplat {

bool IsDialogEnded(HWND dialog) {
  auto *state = StateOf<DialogState>(dialog);
  return !state || state->ended;
}

std::string DialogTypeface(const DialogTemplate &tmpl) {
  if (!(tmpl.style & DS_SETFONT)) return "";
  static constexpr std::string_view kShellDlg = "MS Shell Dlg";
  const bool shellDlg = std::equal(tmpl.typeface.begin(), tmpl.typeface.end(), kShellDlg.begin(), kShellDlg.end(),
                                   [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
  if (shellDlg && tmpl.extended && (tmpl.style & DS_SHELLFONT) == DS_SHELLFONT) return "MS Shell Dlg 2";
  return tmpl.typeface;
}

namespace {

RECT DialogUnitsToPixels(int x, int y, int cx, int cy, int baseX, int baseY) {
  // cppcheck-suppress unreadVariable ; cppcheck 2.10 misses the read in the braced return below
  int left = MulDiv(x, baseX, 4);
  // cppcheck-suppress unreadVariable
  int top = MulDiv(y, baseY, 8);
  return RECT{left, top, left + MulDiv(cx, baseX, 4), top + MulDiv(cy, baseY, 8)};
}

HWND CreateDialogFromTemplate(const DialogTemplate &tmpl, HWND parent, DLGPROC proc) {
  FrontEnd &fe = ActiveFrontEnd();
  if (tmpl.style & DS_SETFONT) fe.UseDialogFont(DialogTypeface(tmpl), tmpl.pointSize);
  int baseX = fe.BaseUnitX(), baseY = fe.BaseUnitY();
  RECT rect = DialogUnitsToPixels(tmpl.x, tmpl.y, tmpl.cx, tmpl.cy, baseX, baseY);
  HWND dialog = CreateWindowState("#32770", tmpl.title, tmpl.style & ~WS_VISIBLE, tmpl.exStyle, rect, parent, 0);
  if (!dialog) return nullptr;
  auto *state = StateOf<DialogState>(dialog);
  state->dialogProc = proc;

  for (const DialogItemTemplate &item : tmpl.items) {
    RECT r = DialogUnitsToPixels(item.x, item.y, item.cx, item.cy, baseX, baseY);
    HWND control = CreateWindowState(item.className, item.title, item.style | WS_CHILD, item.exStyle, r, dialog,
                                     item.id);
    if (!control) {
      Diag("cannot create control %d of class \"%s\" in dialog \"%s\"", item.id, item.className.c_str(),
           tmpl.title.c_str());
      DWORD error = GetLastError();
      DestroyWindow(dialog);
      SetLastError(error);
      return nullptr;
    }
    if (item.className == "Button" && (item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      state->defaultId = item.id;
  }
  return dialog;
}

}  // namespace

namespace {

bool HasStyle(HWND hwnd, DWORD style) {
  const Window *w = FindWindowState(hwnd);
  return w && (w->style & style) == style;
}

// Going round children [first, end) from index `at` (one outside them: from before the first), the next
// control, or the previous one, that is visible, enabled and `fits`.
template <class Fits>
HWND Cycle(const std::vector<HWND> &children, size_t first, size_t end, size_t at, bool backwards, Fits fits) {
  const size_t n = end - first;
  const bool inside = at >= first && at < end;
  for (size_t step = 1; step <= n; ++step) {
    const size_t offset = inside ? (at - first + (backwards ? n - step : step)) % n : backwards ? n - step : step - 1;
    HWND candidate = children[first + offset];
    if (HasStyle(candidate, WS_VISIBLE) && !HasStyle(candidate, WS_DISABLED) && fits(candidate)) return candidate;
  }
  return nullptr;
}

size_t IndexOf(const std::vector<HWND> &children, HWND child) {
  const auto it = std::find(children.begin(), children.end(), child);
  return static_cast<size_t>(it - children.begin());
}

}  // namespace

// cppcheck-suppress constParameter ; a window handle, as Windows declares it
HWND NextTabStop(HWND dialog, HWND from, bool backwards) {
  const std::vector<HWND> &children = FindWindowState(dialog)->children;
  return Cycle(children, 0, children.size(), IndexOf(children, from), backwards,
               [](HWND hwnd) { return HasStyle(hwnd, WS_TABSTOP); });
}

// cppcheck-suppress constParameter ; a window handle, as Windows declares it
HWND NextGroupItem(HWND dialog, HWND from, bool backwards) {
  const std::vector<HWND> &children = FindWindowState(dialog)->children;
  const size_t at = IndexOf(children, from);
  if (at == children.size()) return nullptr;
  size_t first = at, end = at + 1;
  while (first > 0 && !HasStyle(children[first], WS_GROUP)) --first;
  while (end < children.size() && !HasStyle(children[end], WS_GROUP)) ++end;
  // A static control (a group box) never takes the focus.
  return Cycle(children, first, end, at, backwards,
               [](HWND hwnd) { return !(SendMessageA(hwnd, WM_GETDLGCODE, 0, 0) & DLGC_STATIC); });
}

}  // namespace kvplat

using kvplat::DialogState;
using kvplat::StateOf;

extern "C" {

INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE, LPCDLGTEMPLATEA hDialogTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  if (!hDialogTemplate) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  size_t size = kvplat::LoadedResourceSize(hDialogTemplate);
  kvplat::DialogTemplate tmpl;
  std::string error;
  if (!kvplat::ParseDialogTemplate(hDialogTemplate, size ? size : 0x10000, &tmpl, &error)) {
    kvplat::Diag("dialog template: %s", error.c_str());
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  HWND dialog = kvplat::CreateDialogFromTemplate(tmpl, hWndParent, lpDialogFunc);
  if (!dialog) return -1;

  HWND first = kvplat::NextTabStop(dialog, nullptr);
  StateOf<DialogState>(dialog)->lastFocus = first;
  if (SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), dwInitParam) && first &&
      IsWindow(dialog))
    SetFocus(first);

  if (IsWindow(dialog) && !kvplat::IsDialogEnded(dialog)) {
    if (tmpl.style & WS_VISIBLE) ShowWindow(dialog, SW_SHOW);
    kvplat::ActiveFrontEnd().RunModalLoop(dialog);
  }
  auto *state = StateOf<DialogState>(dialog);
  INT_PTR result = state ? state->result : -1;
  if (IsWindow(dialog)) DestroyWindow(dialog);
  return result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  auto *state = StateOf<DialogState>(hDlg);
  if (!state) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  state->ended = true;
  state->result = nResult;
  return TRUE;
}

LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto *state = StateOf<DialogState>(hDlg);
  if (!state) return DefWindowProcA(hDlg, Msg, wParam, lParam);
  if (state->dialogProc) {
    INT_PTR handled = state->dialogProc(hDlg, Msg, wParam, lParam);
    state = StateOf<DialogState>(hDlg);  // the procedure may have destroyed the dialog
    // What a procedure answers to other messages than WM_INITDIALOG goes through DWLP_MSGRESULT, which
    // nothing here sets: 0.
    if (!state || handled) return Msg == WM_INITDIALOG ? handled : 0;
  }
  switch (Msg) {
    case WM_INITDIALOG:
      return 0;
    case WM_CLOSE:
      SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
      return 0;
    case WM_SETFOCUS:
      if (state->lastFocus && IsWindow(state->lastFocus)) SetFocus(state->lastFocus);
      return 0;
  }
  return DefWindowProcA(hDlg, Msg, wParam, lParam);
}

}  // extern "C"
