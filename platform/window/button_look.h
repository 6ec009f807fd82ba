// The look of a push button, shared by the dialog's buttons and the message box's own.
#pragma once
#include <string_view>

namespace kvplat::window {

struct ButtonLook {
  bool ring = false;     // the default button's dark outline
  bool pushed = false;   // held down
  bool focused = false;  // the dotted focus rectangle
};

// Draws the button; false when its caption does not fit inside the edge (the button's clip cuts it).
bool DrawPushButton(int x, int y, int w, int h, std::string_view text, const ButtonLook &look);

}  // namespace kvplat::window
