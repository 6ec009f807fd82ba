// Drawing a classic scroll bar from its layout: two arrow buttons, the track, the thumb.
#pragma once
#include "scroll_geometry.h"

namespace kvplat::window {

// x, y, w, h: the bar's rectangle; `pressed` is drawn held down (an arrow) or darkened (a page part).
void DrawScrollBar(int x, int y, int w, int h, bool vertical, const ScrollBarLayout &layout, ScrollPart pressed);

}  // namespace kvplat::window
