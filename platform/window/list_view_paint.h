// Where a list view's parts are on the screen, and its painting: header, rows, selection, focus.
#pragma once
#include <windows.h>

#include "kvplat/listview.h"

namespace kvplat::window {

// A list view's layout placed at widget position (x, y): the client area starts inside the border.
struct ListViewFrame {
  int clientX = 0;
  int clientY = 0;
  ListViewGeometry geometry;
};
ListViewFrame ListViewFrameOf(HWND list, int x, int y);

// The client point that a mouse position stands for when the columns are scrolled `hOffset` pixels left.
// The list view knows no horizontal scrolling, so the point is given in unscrolled column coordinates,
// kept inside the client area where its hit test looks.
POINT RowsPoint(const ListViewFrame &frame, int mouseX, int mouseY, int hOffset);

// Paints the header and the visible rows into the client area (not the border's outside, not the bars).
void PaintListView(HWND list, const ListViewFrame &frame, int hOffset);

}  // namespace kvplat::window
