// The list view's window procedure, one dispatch from messages to the handlers of listview_*.cpp, and
// comctl32's entry point that registers its class.
#include "kvplat/diag.h"
#include "kvplat/frontend.h"
#include "listview_internal.h"
#include "../user32/wnd_internal.h"

namespace kvplat {

const std::string &ListViewItem::Text(int subItem) const {
  static const std::string empty;
  return subItem >= 0 && static_cast<size_t>(subItem) < texts.size() ? texts[subItem] : empty;
}

namespace listview {

LRESULT Notify(HWND list, UINT code, NMHDR *header) {
  Window *w = FindWindowState(list);
  header->hwndFrom = list;
  header->idFrom = static_cast<UINT_PTR>(w->id);
  header->code = code;
  return SendMessageA(w->parent, WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(header));
}

}  // namespace listview

LRESULT CALLBACK ListViewWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  using namespace listview;
  auto *state = StateOf<ListViewState>(hwnd);
  if (!state) return 0;
  switch (msg) {
    case LVM_GETITEMCOUNT:
      return static_cast<LRESULT>(state->items.size());
    case LVM_INSERTITEMA:
      return InsertItem(hwnd, reinterpret_cast<const LVITEMA *>(lParam));
    case LVM_SETITEMA:
      return SetItem(hwnd, reinterpret_cast<const LVITEMA *>(lParam));
    case LVM_GETITEMA:
      return GetItem(hwnd, reinterpret_cast<LVITEMA *>(lParam));
    case LVM_SETITEMSTATE:
      return SetItemState(hwnd, static_cast<int>(wParam), reinterpret_cast<const LVITEMA *>(lParam));
    case LVM_DELETEALLITEMS:
      return DeleteAllItems(hwnd);
    case LVM_GETSELECTIONMARK:
      return state->selectionMark;
    case LVM_SETSELECTIONMARK:
      return SetSelectionMark(hwnd, static_cast<int>(lParam));
    case LVM_INSERTCOLUMNA:
      return InsertColumn(hwnd, static_cast<int>(wParam), reinterpret_cast<const LVCOLUMNA *>(lParam));
    case LVM_SETCOLUMNWIDTH:
      return SetColumnWidth(hwnd, static_cast<int>(wParam), static_cast<short>(LOWORD(lParam)));
    case LVM_GETSTRINGWIDTHA:
      return lParam ? ActiveFrontEnd().TextWidth(reinterpret_cast<const char *>(lParam)) : 0;
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
      return state->extendedStyle;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD old = state->extendedStyle, mask = static_cast<DWORD>(wParam), style = static_cast<DWORD>(lParam);
      state->extendedStyle = mask ? (old & ~mask) | (style & mask) : style;
      InvalidateWindow(hwnd);
      return old;
    }
    case WM_SETREDRAW:
      state->redraw = wParam != 0;
      if (state->redraw) ActiveFrontEnd().Invalidate(hwnd);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      state->hasFocus = msg == WM_SETFOCUS;
      InvalidateWindow(hwnd);
      return 0;
    case WM_LBUTTONDOWN:
      return LButtonDown(hwnd, POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
    case WM_LBUTTONUP:
      return LButtonUp(hwnd, POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
    case WM_KEYDOWN:
      return KeyDown(hwnd, static_cast<UINT>(wParam));
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace kvplat

extern "C" void WINAPI InitCommonControls(void) {
  kvplat::RegisterWindowClass({WC_LISTVIEWA, kvplat::ListViewWndProc, []() -> std::unique_ptr<kvplat::ControlState> {
                                 return std::make_unique<kvplat::ListViewState>();
                               }});
}
