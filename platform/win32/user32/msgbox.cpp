// MessageBoxA: shown by the active front end; a null caption shows "Error", as on Windows.
#include "kvplat/msgbox.h"

#include "kvplat/frontend.h"

namespace kvplat {

std::vector<MessageBoxButton> MessageBoxButtons(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE: return {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
    case MB_YESNOCANCEL: return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO: return {{IDYES, "Yes"}, {IDNO, "No"}};
    case MB_RETRYCANCEL: return {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
    default: return {{IDOK, "OK"}};
  }
}

int MessageBoxDefaultButton(UINT type) {
  std::vector<MessageBoxButton> buttons = MessageBoxButtons(type);
  size_t index = (type & MB_DEFMASK) >> 8;
  return buttons[index < buttons.size() ? index : 0].id;
}

}  // namespace kvplat

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  return kvplat::ActiveFrontEnd().ShowMessageBox(hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error",
                                                 uType);
}
