// One FLTK widget per child window of a dialog. A widget holds only its window handle: it draws from the
// window manager's state and turns mouse events into the messages Windows would send to that window.
#pragma once
#include <windows.h>

#include <FL/Fl_Widget.H>

#include <memory>

#include "kvplat/window.h"

namespace kvplat::window {

class ControlWidget : public Fl_Widget {
 public:
  ControlWidget(HWND hwnd, const RECT &rect);
  HWND Handle() const { return hwnd_; }

  // The window went away: the widget stays until its dialog window is closed, but shows nothing.
  void Detach();

  // Picks up what the window state says about the widget itself: visibility and rectangle.
  void SyncPlacement();

  // True for push buttons, whose default ring depends on where the focus is.
  virtual bool IsPushButton() const { return false; }

 protected:
  // The window state behind the widget, or null once the window is gone.
  Window *Model() const { return FindWindowState(hwnd_); }
  int BorderWidth() const;
  // Sends a mouse message at the current event position, in the window's client coordinates; false when the
  // window is gone afterwards.
  bool SendMouse(UINT msg);

 private:
  HWND hwnd_;
};

// The widget for a child window, by its class and style; null for a class nobody draws.
std::unique_ptr<ControlWidget> MakeControlWidget(HWND hwnd);

// The widgets of the predefined control classes (buttons.cpp, edit_box.cpp, list_view_widget.cpp).
std::unique_ptr<ControlWidget> MakePushButton(HWND hwnd, const RECT &rect);
std::unique_ptr<ControlWidget> MakeGroupBox(HWND hwnd, const RECT &rect);
std::unique_ptr<ControlWidget> MakeEditBox(HWND hwnd, const RECT &rect);
std::unique_ptr<ControlWidget> MakeListView(HWND hwnd, const RECT &rect);

// Copies the selected text of an edit (edit_box.cpp): clipboard 1 is the clipboard, 0 X11's primary
// selection. Nothing happens when the selection is empty or the window is no edit.
void CopySelection(HWND edit, int clipboard);

}  // namespace kvplat::window
