// The FLTK window of a modal dialog: its caption, icons and one widget per child window. It delivers the
// person's input to the window manager (input::Key, input::CloseBox, input::SetMinimized) and repaints what
// the window manager says has changed.
#pragma once
#include <windows.h>

#include <FL/Fl_Double_Window.H>

#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

#include "control_widget.h"

namespace kvplat::window {

class DialogWindow : public Fl_Double_Window {
 public:
  explicit DialogWindow(HWND dialog);
  ~DialogWindow() override;

  HWND Dialog() const { return dialog_; }

  // The window state of `hwnd` (the dialog or one of its controls) changed.
  void Invalidate(HWND hwnd);
  void WindowDestroyed(HWND hwnd);

  // Hides the window for good, without reporting it as minimised.
  void Close();

  int handle(int event) override;
  void draw() override;

 private:
  void SyncDialog();
  static void CloseBoxCallback(Fl_Widget *widget, void *data);

  HWND dialog_;
  std::vector<std::unique_ptr<ControlWidget>> widgets_;
  std::unordered_map<HWND, ControlWidget *> byHandle_;
  HICON iconBig_ = nullptr;
  HICON iconSmall_ = nullptr;
  HWND lastFocus_ = nullptr;
  std::set<UINT> held_;  // the keys pressed in this window and not yet released: a press of one is a repeat
  bool closing_ = false;
  bool painting_ = false;
  bool minimized_ = false;
};

}  // namespace kvplat::window
