#include "draw3d.h"

#include <FL/fl_draw.H>

#include "dialog_font.h"
#include "kvplat/frontend.h"

namespace kvplat::window {

namespace {

// One ring of an edge: top and left in `topLeft`, bottom and right in `bottomRight`.
void Ring(int x, int y, int w, int h, Fl_Color topLeft, Fl_Color bottomRight) {
  if (w <= 0 || h <= 0) return;
  fl_color(topLeft);
  fl_xyline(x, y, x + w - 2);
  fl_yxline(x, y, y + h - 2);
  fl_color(bottomRight);
  fl_xyline(x, y + h - 1, x + w - 1);
  fl_yxline(x + w - 1, y, y + h - 1);
}

}  // namespace

void DrawEdge(int x, int y, int w, int h, Edge edge) {
  switch (edge) {
    case Edge::Raised:
      Ring(x, y, w, h, palette::kHighlight, palette::kDarkShadow);
      Ring(x + 1, y + 1, w - 2, h - 2, palette::kLight, palette::kShadow);
      break;
    case Edge::Sunken:
      Ring(x, y, w, h, palette::kShadow, palette::kHighlight);
      Ring(x + 1, y + 1, w - 2, h - 2, palette::kDarkShadow, palette::kLight);
      break;
    case Edge::Etched:
      Ring(x, y, w, h, palette::kShadow, palette::kHighlight);
      Ring(x + 1, y + 1, w - 2, h - 2, palette::kHighlight, palette::kShadow);
      break;
  }
}

void DrawFrame(int x, int y, int w, int h, Fl_Color color) {
  if (w <= 0 || h <= 0) return;
  fl_color(color);
  fl_rect(x, y, w, h);
}

void DrawFocusRect(int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) return;
  fl_color(palette::kText);
  fl_line_style(FL_DOT);  // every other pixel, as X draws a one-pixel dotted line
  fl_rect(x, y, w, h);
  fl_line_style(0);
}

std::string FitText(std::string_view text, int width) {
  FrontEnd &fe = ActiveFrontEnd();
  if (fe.TextWidth(text) <= width) return std::string(text);
  const int ellipsis = fe.TextWidth("...");
  // The longest prefix that leaves room for the ellipsis.
  size_t lo = 0, hi = text.size();
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2;
    if (fe.TextWidth(text.substr(0, mid)) + ellipsis <= width) lo = mid;
    else hi = mid - 1;
  }
  return std::string(text.substr(0, lo)) + "...";
}

bool DrawTextLine(std::string_view text, int x, int y, int width, Fl_Color color) {
  if (text.empty()) return true;
  if (width <= 0) return false;
  SelectDialogFont();
  std::string shown = FitText(text, width);
  fl_color(color);
  fl_draw(shown.c_str(), static_cast<int>(shown.size()), x, y + fl_height() - fl_descent());
  return shown == text;
}

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

void SelectDialogFont() { fl_font(DialogFontFace(), DialogFontSize()); }

}  // namespace kvplat::window
