// The active front end, MessageBoxA, which it shows, and the input it delivers.
#include "kvplat/frontend.h"

#include <utility>

#include "kvplat/diag.h"
#include "kvplat/listview.h"
#include "kvplat/window.h"
#include "wnd_internal.h"

namespace kvplat {

namespace {
FrontEnd *g_active = nullptr;
}  // namespace

FrontEnd &ActiveFrontEnd() { return *g_active; }

FrontEnd *SetActiveFrontEnd(FrontEnd *frontEnd) { return std::exchange(g_active, frontEnd); }

int ScaleForDpi(int pixelsAt96) { return MulDiv(pixelsAt96, g_active->Dpi(), kDefaultDpi); }

}  // namespace kvplat

// A null caption shows "Error", as on Windows. The program's boxes have the one button OK (MB_OK).
extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  if (uType != MB_OK) kvplat::ReportUnimplemented("MessageBoxA: a type other than MB_OK");
  kvplat::ActiveFrontEnd().ShowMessageBox(hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
  return IDOK;
}

// Mouse and keyboard input turned into the messages Windows sends, including the dialog manager's keys.
namespace kvplat::input {

namespace {

void MouseClickAt(HWND hwnd, POINT pt) {
  LPARAM where = MAKELPARAM(pt.x, pt.y);
  SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, where);
  if (IsWindow(hwnd)) SendMessageA(hwnd, WM_LBUTTONUP, 0, where);
}

void PressButton(HWND dialog, int id) {
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

bool Click(HWND control) {
  RECT client;
  if (!GetClientRect(control, &client) || client.right <= 0 || client.bottom <= 0) return false;
  MouseClickAt(control, POINT{client.right / 2, client.bottom / 2});
  return true;
}

bool ClickListRow(HWND list, int row, int column) {
  ListViewEnsureVisible(list, row);
  POINT pt;
  if (!ListViewCellPoint(list, row, column, &pt)) return false;
  MouseClickAt(list, pt);
  return true;
}

bool ClickListEmpty(HWND list) {
  POINT pt;
  if (!ListViewEmptyPoint(list, &pt)) {
    // The rows fill the view: scroll to the end, where the space below the last row shows.
    ListViewEnsureVisible(list, 1 << 30);
    if (!ListViewEmptyPoint(list, &pt)) return false;
  }
  MouseClickAt(list, pt);
  return true;
}

void KeyDown(HWND dialog, UINT vk, bool shift, bool repeat) {
  HWND focus = GetFocus();
  if (focus && OwningDialog(focus) != dialog) focus = nullptr;
  LRESULT code = focus ? SendMessageA(focus, WM_GETDLGCODE, vk, 0) : 0;
  switch (vk) {
    case VK_TAB:
      // No control of this system wants Tab, Escape or Enter for itself (DLGC_WANTTAB, DLGC_WANTALLKEYS).
      if (HWND next = NextTabStop(dialog, focus, shift)) {
        SetFocus(next);
        if (SendMessageA(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageA(next, EM_SETSEL, 0, -1);
      }
      return;
    case VK_ESCAPE:
      PressButton(dialog, IDCANCEL);
      return;
    case VK_RETURN: {
      if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) {
        PressButton(dialog, GetDlgCtrlID(focus));
        return;
      }
      const int defaultId = StateOf<DialogState>(dialog)->defaultId;
      HWND target = GetDlgItem(dialog, defaultId);
      if (!target || IsWindowEnabled(target)) PressButton(dialog, defaultId);
      return;
    }
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT:
      if (code & DLGC_WANTARROWS) break;
      // Arrows that the control leaves to the dialog move the focus within its group.
      if (HWND next = focus ? NextGroupItem(dialog, focus, vk == VK_UP || vk == VK_LEFT) : nullptr) SetFocus(next);
      return;
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
      if (!(code & DLGC_WANTARROWS)) return;
      break;
  }
  // lParam: a repeat count of 1, and bit 30 for a key that was down before (held, repeating).
  if (focus) SendMessageA(focus, WM_KEYDOWN, vk, repeat ? 0x40000001 : 1);
}

// cppcheck-suppress constParameter ; a window handle, as Windows declares it
void KeyUp(HWND dialog, UINT vk) {
  HWND focus = GetFocus();
  if (focus && OwningDialog(focus) == dialog) SendMessageA(focus, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
}

void Key(HWND dialog, UINT vk, bool shift) {
  KeyDown(dialog, vk, shift, false);
  if (IsWindow(dialog)) KeyUp(dialog, vk);
}

void CloseBox(HWND window) { SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

// What IsIconic tells; the program handles no WM_SIZE, which Windows would send too.
void SetMinimized(HWND window, bool minimized) {
  if (Window *w = FindWindowState(window)) w->minimized = minimized;
}

}  // namespace kvplat::input
