// The state structs of the predefined controls.
#pragma once
#include <windows.h>

#include "kvplat/window.h"

namespace kvplat {

struct ButtonState : ControlState {
  bool pushed = false;  // held down by the mouse or Space
};

struct EditState : ControlState {
  int selectionStart = 0;  // in characters
  int selectionEnd = 0;
};

struct StaticState : ControlState {};

}  // namespace kvplat
