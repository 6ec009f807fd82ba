// comctl32's entry points: registering the list view class.
#include <commctrl.h>

#include "kvplat/listview.h"

namespace kvplat {
LRESULT CALLBACK ListViewWndProc(HWND, UINT, WPARAM, LPARAM);
}

namespace {
void RegisterListViewClass() {
  kvplat::RegisterWindowClass(
      {WC_LISTVIEWA, kvplat::ListViewWndProc,
       []() -> std::unique_ptr<kvplat::ControlState> { return std::make_unique<kvplat::ListViewState>(); }});
}
}  // namespace

extern "C" void WINAPI InitCommonControls(void) { RegisterListViewClass(); }
