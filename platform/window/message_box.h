// The modal message box: FLTK's own, with the caption, the text in the dialog font, and one button, OK (the
// program shows no other kind). Input to every other window waits while it is shown.
#pragma once
#include <string>

namespace kvplat::window {

void RunMessageBox(const std::string &text, const std::string &caption);

}  // namespace kvplat::window
