#include "key_map.h"

#include <FL/Enumerations.H>

namespace kvplat::window {

UINT VirtualKeyFromFltk(int fltkKey) {
  switch (fltkKey) {
    case FL_Enter:
    case FL_KP_Enter: return VK_RETURN;
    case FL_Escape: return VK_ESCAPE;
    case FL_Tab: return VK_TAB;
    case ' ': return VK_SPACE;
    case FL_Up: return VK_UP;
    case FL_Down: return VK_DOWN;
    case FL_Left: return VK_LEFT;
    case FL_Right: return VK_RIGHT;
    case FL_Home: return VK_HOME;
    case FL_End: return VK_END;
    case FL_Page_Up: return VK_PRIOR;
    case FL_Page_Down: return VK_NEXT;
  }
  return 0;
}

}  // namespace kvplat::window
