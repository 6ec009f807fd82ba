// The window manager's state: every window with its class, styles, rectangle, text and the state struct of
// its control (a dialog's, a button's, an edit's, a list view's: kvplat/listview.h). Only user32/comctl32
// change it; front ends read it to draw and to hit-test.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace kvplat {

struct ControlState {
  virtual ~ControlState() = default;
};

struct Window {
  HWND handle = nullptr;
  std::string className;  // as registered: "#32770", "Button", "Edit", "SysListView32"
  WNDPROC proc = nullptr;  // the current window procedure (MFC subclasses controls)
  HWND parent = nullptr;
  int id = 0;
  DWORD style = 0;  // the extended style is not kept: nothing here reads one
  RECT rect{};  // pixels; children: in the parent's client coordinates, top-level windows: on the screen
  std::string text;
  bool minimized = false;
  HICON iconBig = nullptr;  // WM_SETICON
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

// Creates a window of a registered class (case-insensitive, like Windows) and sends WM_NCCREATE and
// WM_CREATE; null with the last error set when the class is unknown or creation is refused.
HWND CreateWindowState(const std::string &className, const std::string &text, DWORD style, DWORD exStyle,
                       const RECT &rect, HWND parent, int id);

struct ButtonState : ControlState {
  bool pushed = false;  // held down by the mouse or Space
};

struct EditState : ControlState {
  int selectionStart = 0;  // in characters
  int selectionEnd = 0;
};

// The dialog manager's per-dialog state.
struct DialogState : ControlState {
  DLGPROC dialogProc = nullptr;
  int defaultId = IDOK;  // the last BS_DEFPUSHBUTTON of the template, else IDOK
  HWND lastFocus = nullptr;
  bool ended = false;
  INT_PTR result = 0;
};

struct DialogTemplate;

// The typeface a template's dialog is drawn in: the one it names, except that a DIALOGEX template with
// DS_SHELLFONT naming "MS Shell Dlg" gets "MS Shell Dlg 2", the shell's newer dialog font. Empty when the
// template names none (no DS_SETFONT): the system font.
std::string DialogTypeface(const DialogTemplate &tmpl);

// True once EndDialog has been called for the dialog (or the window is gone).
bool IsDialogEnded(HWND dialog);

}  // namespace kvplat
