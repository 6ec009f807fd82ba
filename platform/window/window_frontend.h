// The window front end: the dialog in a real window, drawn with FLTK from the window manager's state.
#pragma once
#include <memory>
#include <string>

#include "kvplat/frontend.h"

namespace kvplat {

// Opens the display. Null, with the reason in *error, when there is none.
std::unique_ptr<FrontEnd> MakeWindowFrontEnd(std::string *error);

}  // namespace kvplat
