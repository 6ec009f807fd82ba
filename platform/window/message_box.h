// The modal message box window: caption, icon, text, and the buttons of its type.
#pragma once
#include <windows.h>

#include <string>

class Fl_Window;

namespace kvplat::window {

// Shows the box centred on `owner` (or on the screen when null) and returns the button's id once one has
// been pressed. Input to every other window waits meanwhile.
int RunMessageBox(Fl_Window *owner, const std::string &text, const std::string &caption, UINT type);

}  // namespace kvplat::window
