// The window table: creation, destruction, message sending, window longs, texts and rectangles.
#include "kvplat/window.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <strings.h>

#include "kvplat/diag.h"
#include "kvplat/dialog.h"
#include "kvplat/frontend.h"
#include "wnd_internal.h"

namespace kvplat {

namespace {

std::map<uintptr_t, std::unique_ptr<Window>> &Windows() {
  static std::map<uintptr_t, std::unique_ptr<Window>> windows;
  return windows;
}
uintptr_t g_nextHandle = 0x10010;

std::vector<WindowClass> &Classes() {
  static std::vector<WindowClass> classes;
  static bool systemClassesRegistered = false;
  if (!systemClassesRegistered) {
    systemClassesRegistered = true;
    RegisterSystemClasses();
  }
  return classes;
}

}  // namespace

Window *FindWindowState(HWND hwnd) {
  auto &windows = Windows();
  auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == windows.end() ? nullptr : it->second.get();
}

void RegisterWindowClass(WindowClass cls) {
  for (auto &existing : Classes()) {
    if (strcasecmp(existing.name.c_str(), cls.name.c_str()) == 0) {
      existing = std::move(cls);
      return;
    }
  }
  Classes().push_back(std::move(cls));
}

const WindowClass *FindWindowClass(const std::string &name) {
  for (const auto &cls : Classes())
    if (strcasecmp(cls.name.c_str(), name.c_str()) == 0) return &cls;
  return nullptr;
}

HWND CreateWindowState(const std::string &className, const std::string &text, DWORD style, DWORD exStyle,
                       const RECT &rect, HWND parent, int id) {
  const WindowClass *cls = FindWindowClass(className);
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (parent && !FindWindowState(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  auto window = std::make_unique<Window>();
  HWND hwnd = reinterpret_cast<HWND>(g_nextHandle);
  g_nextHandle += 0x10;
  window->handle = hwnd;
  window->className = cls->name;
  window->proc = cls->proc;
  window->parent = parent;
  window->id = id;
  window->style = style;
  window->exStyle = exStyle;
  window->rect = rect;
  window->text = text;
  if (cls->makeState) window->state = cls->makeState();
  Windows()[reinterpret_cast<uintptr_t>(hwnd)] = std::move(window);
  if (Window *p = FindWindowState(parent)) p->children.push_back(hwnd);

  if (!SendMessageA(hwnd, WM_NCCREATE, 0, 0) || SendMessageA(hwnd, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(hwnd);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return hwnd;
}

HWND OwningDialog(HWND hwnd) {
  for (Window *w = FindWindowState(hwnd); w; w = FindWindowState(w->parent))
    if (dynamic_cast<DialogState *>(w->state.get())) return w->handle;
  return nullptr;
}

namespace {

void DestroyTree(HWND hwnd) {
  Window *w = FindWindowState(hwnd);
  if (!w || w->destroying) return;
  w->destroying = true;
  ActiveFrontEnd().WindowDestroyed(hwnd);
  if (GetFocus() == hwnd) SetFocus(nullptr);
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  std::vector<HWND> children = FindWindowState(hwnd)->children;
  for (HWND child : children) DestroyTree(child);
  SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
  w = FindWindowState(hwnd);
  if (Window *p = FindWindowState(w->parent)) {
    auto &siblings = p->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
  }
  Windows().erase(reinterpret_cast<uintptr_t>(hwnd));
}

}  // namespace

}  // namespace kvplat

using kvplat::FindWindowState;
using kvplat::Window;

extern "C" {

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Window *w = FindWindowState(hWnd);
  if (!w || !w->proc) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return w->proc(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

BOOL WINAPI IsWindow(HWND hWnd) { return FindWindowState(hWnd) != nullptr; }

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  for (Window *w = FindWindowState(hWnd); w; w = FindWindowState(w->parent))
    if (!(w->style & WS_VISIBLE)) return FALSE;
  return FindWindowState(hWnd) != nullptr;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  Window *w = FindWindowState(hWnd);
  return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI IsIconic(HWND hWnd) {
  Window *w = FindWindowState(hWnd);
  return w && w->minimized;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  Window *w = FindWindowState(hWnd);
  if (!w) return FALSE;
  BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
  bool show = nCmdShow != SW_HIDE;
  if (show != static_cast<bool>(wasVisible)) SendMessageA(hWnd, WM_SHOWWINDOW, show, 0);
  if (show) w->style |= WS_VISIBLE;
  else w->style &= ~WS_VISIBLE;
  w->minimized = nCmdShow == SW_MINIMIZE || nCmdShow == SW_SHOWMINIMIZED;
  kvplat::ActiveFrontEnd().Invalidate(hWnd);
  return wasVisible;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  if (!FindWindowState(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  kvplat::DestroyTree(hWnd);
  return TRUE;
}

HWND WINAPI GetParent(HWND hWnd) {
  Window *w = FindWindowState(hWnd);
  return w ? w->parent : nullptr;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  Window *w = FindWindowState(hDlg);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  for (HWND child : w->children)
    if (FindWindowState(child)->id == nIDDlgItem) return child;
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
  Window *w = FindWindowState(hWnd);
  return w ? w->id : 0;
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  if (!FindWindowState(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return static_cast<BOOL>(SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)));
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
  Window *w = FindWindowState(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (nIndex >= 0) {
    auto *dialog = dynamic_cast<kvplat::DialogState *>(w->state.get());
    if (!dialog) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    if (nIndex == DWLP_MSGRESULT) return dialog->msgResult;
    if (nIndex == static_cast<int>(DWLP_DLGPROC)) return reinterpret_cast<LONG_PTR>(dialog->dialogProc);
    if (nIndex == static_cast<int>(DWLP_USER)) return dialog->user;
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  switch (nIndex) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(GetModuleHandleA(nullptr));
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent);
    case GWLP_ID: return w->id;
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    case GWLP_USERDATA: return w->userData;
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  Window *w = FindWindowState(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old = GetWindowLongPtrA(hWnd, nIndex);
  if (nIndex >= 0) {
    auto *dialog = dynamic_cast<kvplat::DialogState *>(w->state.get());
    if (!dialog) return 0;
    if (nIndex == DWLP_MSGRESULT) dialog->msgResult = dwNewLong;
    else if (nIndex == static_cast<int>(DWLP_DLGPROC)) dialog->dialogProc = reinterpret_cast<DLGPROC>(dwNewLong);
    else if (nIndex == static_cast<int>(DWLP_USER)) dialog->user = dwNewLong;
    return old;
  }
  switch (nIndex) {
    case GWLP_WNDPROC: w->proc = reinterpret_cast<WNDPROC>(dwNewLong); break;
    case GWLP_ID: w->id = static_cast<int>(dwNewLong); break;
    case GWL_STYLE: w->style = static_cast<DWORD>(dwNewLong); break;
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(dwNewLong); break;
    case GWLP_USERDATA: w->userData = dwNewLong; break;
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
  }
  return old;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  Window *w = FindWindowState(hWnd);
  if (!w || !lpRect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  // Top-level windows keep their client rectangle; controls lose their border to the non-client area.
  int border = (w->parent && (w->style & WS_BORDER)) ? 1 : 0;
  *lpRect = RECT{0, 0, std::max<LONG>(0, w->rect.right - w->rect.left - 2 * border),
                 std::max<LONG>(0, w->rect.bottom - w->rect.top - 2 * border)};
  return TRUE;
}

}  // extern "C"
