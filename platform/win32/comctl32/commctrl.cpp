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

extern "C" BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX *picce) {
  if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
  if (picce->dwICC & ICC_LISTVIEW_CLASSES) RegisterListViewClass();
  return TRUE;
}
