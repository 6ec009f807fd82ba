// The window table: creation, destruction, message sending, the window procedure, texts, rectangles and
// the keyboard focus.
#include "kvplat/window.h"

#include <algorithm>
#include <map>
#include <strings.h>

#include "kvplat/diag.h"
#include "kvplat/frontend.h"
#include "wnd_internal.h"

namespace kvplat {

namespace {

std::map<uintptr_t, std::unique_ptr<Window>> &Windows() {
  static std::map<uintptr_t, std::unique_ptr<Window>> windows;
  return windows;
}
uintptr_t g_nextHandle = 0x10010;

template <typename T>
std::unique_ptr<ControlState> Make() {
  return std::make_unique<T>();
}

// The classes that user32 predefines are there before any other.
std::vector<WindowClass> &Classes() {
  static std::vector<WindowClass> classes = {{"#32770", DefDlgProcA, Make<DialogState>},
                                             {"Button", ButtonWndProc, Make<ButtonState>},
                                             {"Edit", EditWndProc, Make<EditState>}};
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

HWND CreateWindowState(const std::string &className, const std::string &text, DWORD style, DWORD /*exStyle*/,
                       const RECT &rect, HWND parent, int id) {
  auto cls = std::find_if(Classes().begin(), Classes().end(), [&](const WindowClass &c) {
    return strcasecmp(c.name.c_str(), className.c_str()) == 0;
  });
  if (cls == Classes().end()) {
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
  if (nCmdShow != SW_HIDE && nCmdShow != SW_SHOW) kvplat::ReportUnimplemented("ShowWindow: other than SW_HIDE, SW_SHOW");
  BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
  if (nCmdShow == SW_HIDE) w->style &= ~WS_VISIBLE;
  else w->style |= WS_VISIBLE;
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

// A handle that is no window fails as SendMessageA fails: FALSE with ERROR_INVALID_WINDOW_HANDLE.
BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  return static_cast<BOOL>(SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)));
}

// MFC subclasses windows through GWLP_WNDPROC, the one index that anything here sets.
LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  Window *w = FindWindowState(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (nIndex != GWLP_WNDPROC) {
    kvplat::ReportUnimplemented("SetWindowLongPtrA: an index other than GWLP_WNDPROC");
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  LONG_PTR old = reinterpret_cast<LONG_PTR>(w->proc);
  w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
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

// The keyboard focus: one window at a time, moved with WM_KILLFOCUS to the old and WM_SETFOCUS to the new.
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
