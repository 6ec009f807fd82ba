// The connection to the X display, opened before FLTK would open it itself: FLTK stops the process when it
// cannot, while the platform must say why and exit with its own status.
#pragma once
#include <string>

namespace kvplat::window {

// Opens the display named by DISPLAY and hands it to FLTK; false with the reason otherwise.
bool OpenDisplay(std::string *error);

// The open display's resolution in dots per inch (resolution.h says which); a bad Xft.dpi is reported once
// on standard error.
int DisplayResolution();

}  // namespace kvplat::window
