// X11's headers define names (Window, None, Bool, Status) that clash with the Windows headers, so this
// file includes no Windows header.
#include "display.h"

#include <FL/x.H>

#include <cstdlib>

namespace kvplat::window {

bool OpenDisplay(std::string *error) {
  const char *name = std::getenv("DISPLAY");
  if (!name || !*name) {
    *error = "DISPLAY is not set";
    return false;
  }
  ::Display *display = XOpenDisplay(nullptr);
  if (!display) {
    *error = std::string("cannot open display \"") + XDisplayName(nullptr) + "\"";
    return false;
  }
  fl_open_display(display);
  return true;
}

}  // namespace kvplat::window
