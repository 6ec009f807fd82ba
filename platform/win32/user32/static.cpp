// The Static class, and the registration of the classes that user32 predefines.
#include "kvplat/controls.h"
#include "kvplat/dialog.h"
#include "kvplat/window.h"
#include "wnd_internal.h"

namespace kvplat {

LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_PAINT:
    case WM_ENABLE:
    case WM_SHOWWINDOW:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  ReportUnimplementedMessage(hwnd, msg);
  return 0;
}

namespace {
template <typename T>
std::unique_ptr<ControlState> Make() {
  return std::make_unique<T>();
}
}  // namespace

void RegisterSystemClasses() {
  RegisterWindowClass({"#32770", DefDlgProcA, Make<DialogState>});
  RegisterWindowClass({"Button", ButtonWndProc, Make<ButtonState>});
  RegisterWindowClass({"Edit", EditWndProc, Make<EditState>});
  RegisterWindowClass({"Static", StaticWndProc, Make<StaticState>});
}

}  // namespace kvplat
