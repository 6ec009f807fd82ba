#include "button_look.h"

#include <FL/fl_draw.H>

#include "draw3d.h"
#include "kvplat/frontend.h"
#include "palette.h"

namespace kvplat::window {

bool DrawPushButton(int x, int y, int w, int h, std::string_view text, const ButtonLook &look) {
  fl_rectf(x, y, w, h, palette::kFace);
  int inset = 0;
  if (look.ring) {
    DrawFrame(x, y, w, h, palette::kFrame);
    inset = 1;
  }
  const int ix = x + inset, iy = y + inset, iw = w - 2 * inset, ih = h - 2 * inset;
  if (look.pushed) DrawFrame(ix, iy, iw, ih, palette::kShadow);
  else DrawEdge(ix, iy, iw, ih, Edge::Raised);

  SelectDialogFont();
  const int shift = look.pushed ? 1 : 0;
  const int textWidth = ActiveFrontEnd().TextWidth(text);
  const int tx = x + (w - textWidth) / 2 + shift;
  const int ty = y + (h - fl_height()) / 2 + shift;
  // Button captions are centred and clipped by the button, never shortened with an ellipsis.
  constexpr int kUnlimited = 1 << 20;
  const int clipX = ix + 2, clipY = iy + 2, clipW = iw - 4, clipH = ih - 4;
  fl_push_clip(clipX, clipY, clipW, clipH);
  DrawTextLine(text, tx, ty, kUnlimited, palette::kText);
  fl_pop_clip();
  if (look.focused) DrawFocusRect(ix + 3, iy + 3, iw - 6, ih - 6);
  return tx >= clipX && ty >= clipY && tx + textWidth <= clipX + clipW && ty + fl_height() <= clipY + clipH;
}

}  // namespace kvplat::window
