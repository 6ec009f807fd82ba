#include "message_box_icon.h"

#include <FL/fl_draw.H>

#include <algorithm>

namespace kvplat::window {

namespace {

void Disc(int x, int y, int size, Fl_Color fill) {
  fl_color(fill);
  fl_pie(x, y, size, size, 0, 360);
  fl_color(fl_darker(fill));
  fl_arc(x, y, size, size, 0, 360);
}

void Glyph(const char *text, int x, int y, int size, Fl_Color color) {
  fl_font(FL_HELVETICA_BOLD, size * 2 / 3);
  fl_color(color);
  fl_draw(text, x, y, size, size, FL_ALIGN_CENTER, nullptr, 0);
}

}  // namespace

void DrawMessageBoxIcon(UINT type, int x, int y, int size) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: {
      Disc(x, y, size, fl_rgb_color(220, 40, 40));
      const int in = size * 3 / 10;
      fl_color(FL_WHITE);
      fl_line_style(FL_SOLID | FL_CAP_ROUND, std::max(2, size / 9));
      fl_line(x + in, y + in, x + size - in, y + size - in);
      fl_line(x + size - in, y + in, x + in, y + size - in);
      fl_line_style(0);
      break;
    }
    case MB_ICONEXCLAMATION:
      fl_color(fl_rgb_color(250, 200, 30));
      fl_polygon(x + size / 2, y + 1, x + size - 1, y + size - 2, x, y + size - 2);
      fl_color(fl_rgb_color(160, 110, 0));
      fl_loop(x + size / 2, y + 1, x + size - 1, y + size - 2, x, y + size - 2);
      Glyph("!", x, y + size / 8, size, FL_BLACK);
      break;
    case MB_ICONQUESTION:
      Disc(x, y, size, fl_rgb_color(40, 100, 200));
      Glyph("?", x, y, size, FL_WHITE);
      break;
    case MB_ICONASTERISK:
      Disc(x, y, size, fl_rgb_color(40, 100, 200));
      Glyph("i", x, y, size, FL_WHITE);
      break;
  }
}

}  // namespace kvplat::window
