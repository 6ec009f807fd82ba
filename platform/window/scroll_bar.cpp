#include "scroll_bar.h"

#include <FL/fl_draw.H>

#include "draw3d.h"
#include "palette.h"

namespace kvplat::window {

namespace {

// A small filled triangle pointing along the bar (towards its start for the first arrow).
void DrawArrow(int x, int y, int w, int h, bool vertical, bool towardsStart, bool enabled, bool pushed) {
  const int cx = x + w / 2 + (pushed ? 1 : 0), cy = y + h / 2 + (pushed ? 1 : 0);
  const int size = std::max(2, std::min(w, h) / 4);
  auto triangle = [&](int dx, int dy, Fl_Color color) {
    fl_color(color);
    if (vertical) {
      int tip = towardsStart ? cy - size / 2 - 1 : cy + size / 2;
      int base = towardsStart ? tip + size : tip - size;
      fl_polygon(cx - size + dx, base + dy, cx + size + dx, base + dy, cx + dx, tip + dy);
    } else {
      int tip = towardsStart ? cx - size / 2 - 1 : cx + size / 2;
      int base = towardsStart ? tip + size : tip - size;
      fl_polygon(base + dx, cy - size + dy, base + dx, cy + size + dy, tip + dx, cy + dy);
    }
  };
  if (enabled) {
    triangle(0, 0, palette::kText);
  } else {
    triangle(1, 1, palette::kHighlight);
    triangle(0, 0, palette::kShadow);
  }
}

void DrawButton(int x, int y, int w, int h, bool pushed) {
  if (w <= 0 || h <= 0) return;
  fl_rectf(x, y, w, h, palette::kFace);
  if (pushed) DrawFrame(x, y, w, h, palette::kShadow);
  else DrawEdge(x, y, w, h, Edge::Raised);
}

}  // namespace

void DrawScrollBar(int x, int y, int w, int h, bool vertical, const ScrollBarLayout &layout, ScrollPart pressed) {
  if (w <= 0 || h <= 0) return;
  const bool enabled = layout.thumbLength > 0;
  // Positions along the bar map to y (vertical) or x (horizontal).
  auto rect = [&](int start, int length, auto draw) {
    if (vertical) draw(x, y + start, w, length);
    else draw(x + start, y, length, h);
  };
  fl_rectf(x, y, w, h, palette::kScrollTrack);
  if (enabled && (pressed == ScrollPart::PageUp || pressed == ScrollPart::PageDown)) {
    int start = pressed == ScrollPart::PageUp ? layout.arrow : layout.thumbStart + layout.thumbLength;
    int end = pressed == ScrollPart::PageUp ? layout.thumbStart : layout.length - layout.arrow;
    rect(start, end - start, [](int rx, int ry, int rw, int rh) { fl_rectf(rx, ry, rw, rh, palette::kDarkShadow); });
  }
  const int far = layout.length - layout.arrow;
  rect(0, layout.arrow, [&](int rx, int ry, int rw, int rh) {
    DrawButton(rx, ry, rw, rh, pressed == ScrollPart::LineUp);
    DrawArrow(rx, ry, rw, rh, vertical, true, enabled, pressed == ScrollPart::LineUp);
  });
  rect(far, layout.arrow, [&](int rx, int ry, int rw, int rh) {
    DrawButton(rx, ry, rw, rh, pressed == ScrollPart::LineDown);
    DrawArrow(rx, ry, rw, rh, vertical, false, enabled, pressed == ScrollPart::LineDown);
  });
  if (enabled)
    rect(layout.thumbStart, layout.thumbLength, [](int rx, int ry, int rw, int rh) { DrawButton(rx, ry, rw, rh, false); });
}

}  // namespace kvplat::window
