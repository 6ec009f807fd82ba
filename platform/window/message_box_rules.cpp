#include "message_box_rules.h"

#include "kvplat/msgbox.h"

namespace kvplat::window {

int MessageBoxEscapeResult(UINT type) {
  std::vector<MessageBoxButton> buttons = MessageBoxButtons(type);
  for (const MessageBoxButton &b : buttons)
    if (b.id == IDCANCEL) return IDCANCEL;
  return buttons.size() == 1 && buttons[0].id == IDOK ? IDOK : 0;
}

int NextMessageBoxButton(int current, int count, bool forward) {
  if (count <= 0) return 0;
  return ((current + (forward ? 1 : -1)) % count + count) % count;
}

}  // namespace kvplat::window
