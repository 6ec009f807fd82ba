// The window manager's state: every window with its class, styles, rectangle, text and the state struct of
// its control. Only user32/comctl32 change it; front ends read it to draw and to hit-test.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace kvplat {

// The per-class state of a window: DialogState, ButtonState, EditState, ListViewState.
struct ControlState {
  virtual ~ControlState() = default;
};

struct Window {
  HWND handle = nullptr;
  std::string className;  // as registered: "#32770", "Button", "Edit", "Static", "SysListView32"
  WNDPROC proc = nullptr;  // the current window procedure (MFC subclasses controls)
  HWND parent = nullptr;
  int id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect{};  // pixels; children: in the parent's client coordinates, top-level windows: on the screen
  std::string text;
  LONG_PTR userData = 0;
  bool minimized = false;
  HICON iconBig = nullptr;    // WM_SETICON
  HICON iconSmall = nullptr;
  bool destroying = false;
  std::vector<HWND> children;  // in creation order, which is a dialog's tab order
  std::unique_ptr<ControlState> state;
};

// The window behind a handle, or null for a handle that is not (or no longer) a window.
Window *FindWindowState(HWND hwnd);

template <typename T>
T *StateOf(HWND hwnd) {
  Window *w = FindWindowState(hwnd);
  return w ? dynamic_cast<T *>(w->state.get()) : nullptr;
}

// Window classes: a name, its procedure, and a factory for the state struct of a new window.
struct WindowClass {
  std::string name;
  WNDPROC proc = nullptr;
  std::unique_ptr<ControlState> (*makeState)() = nullptr;
};
void RegisterWindowClass(WindowClass cls);
const WindowClass *FindWindowClass(const std::string &name);  // case-insensitive, like Windows

// Creates a window of a registered class and sends WM_NCCREATE and WM_CREATE; null with the last error set
// when the class is unknown or creation is refused.
HWND CreateWindowState(const std::string &className, const std::string &text, DWORD style, DWORD exStyle,
                       const RECT &rect, HWND parent, int id);


}  // namespace kvplat
