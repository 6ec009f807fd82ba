// The modal message box window: caption, text, and its one button, OK (the program shows no other kind).
#pragma once
#include <string>

class Fl_Window;

namespace kvplat::window {

// Shows the box centred on `owner` (or on the screen when null) until it is answered. Input to every other
// window waits meanwhile.
void RunMessageBox(Fl_Window *owner, const std::string &text, const std::string &caption);

}  // namespace kvplat::window
