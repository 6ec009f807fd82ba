// FLTK key codes to the virtual-key codes that the dialog manager and the controls understand.
#pragma once
#include <windows.h>

namespace kvplat::window {

// The virtual key of an FLTK key (Fl::event_key()), or 0 for keys that no control of this system reacts to.
UINT VirtualKeyFromFltk(int fltkKey);

}  // namespace kvplat::window
