// Where rows, header and scroll bars are, hit testing, and scrolling.
#include <algorithm>

#include "kvplat/frontend.h"
#include "listview_internal.h"
#include "../user32/wnd_internal.h"

namespace kvplat {

namespace listview {

int HitTest(HWND list, POINT pt, int *column) {
  *column = -1;
  ListViewState *state = StateOf<ListViewState>(list);
  ListViewGeometry g = ListViewLayout(list);
  if (pt.x < 0 || pt.x >= g.client.right || pt.y < g.headerHeight || pt.y >= g.client.bottom) return -1;
  int row = state->topIndex + (pt.y - g.headerHeight) / g.rowHeight;
  if (row >= static_cast<int>(state->items.size())) return -1;
  int left = 0;
  for (size_t i = 0; i < state->columns.size(); ++i) {
    int width = state->columns[i].width;
    if (pt.x >= left && pt.x < left + width) {
      *column = static_cast<int>(i);
      break;
    }
    left += width;
  }
  if (state->extendedStyle & LVS_EX_FULLROWSELECT) return *column == -1 ? -1 : row;
  // Without full-row select only the first column's label hits the item.
  if (*column != 0) return -1;
  const std::string &label = state->items[row].Text(state->columns[0].subItem);
  int labelWidth = std::min(state->columns[0].width, ActiveFrontEnd().TextWidth(label) + CellPadding());
  return pt.x < labelWidth ? row : -1;
}

}  // namespace listview

ListViewGeometry ListViewLayout(HWND list) {
  ListViewGeometry g;
  ListViewState *state = StateOf<ListViewState>(list);
  if (!state) return g;
  RECT client;
  GetClientRect(list, &client);
  // Rows and the header are the font's height and margins given for 96 dpi.
  g.rowHeight = ActiveFrontEnd().BaseUnitY() + ScaleForDpi(4);
  g.scrollBarSize = ScaleForDpi(kScrollBarSize);
  g.headerHeight = ActiveFrontEnd().BaseUnitY() + ScaleForDpi(8);
  int width = client.right, height = client.bottom - g.headerHeight;
  int columnsWidth = 0;
  for (const ListViewColumn &c : state->columns) columnsWidth += c.width;
  const long rowsHeight = static_cast<long>(state->items.size()) * g.rowHeight;
  g.verticalScrollBar = rowsHeight > height;
  if (g.verticalScrollBar) width -= g.scrollBarSize;
  g.horizontalScrollBar = columnsWidth > width;
  if (g.horizontalScrollBar) {
    height -= g.scrollBarSize;
    if (!g.verticalScrollBar && rowsHeight > height) {
      g.verticalScrollBar = true;
      width -= g.scrollBarSize;
    }
  }
  g.client = RECT{0, 0, std::max(0, width), std::max(0, height) + g.headerHeight};
  g.rowsPerPage = std::max(0, height / g.rowHeight);
  return g;
}

void ListViewSetTopIndex(HWND list, int topIndex) {
  ListViewState *state = StateOf<ListViewState>(list);
  if (!state) return;
  int count = static_cast<int>(state->items.size());
  int maxTop = std::max(0, count - std::max(1, ListViewLayout(list).rowsPerPage));
  int top = std::clamp(topIndex, 0, maxTop);
  if (top != state->topIndex) {
    state->topIndex = top;
    if (state->redraw) ActiveFrontEnd().Invalidate(list);
  }
}

void ListViewEnsureVisible(HWND list, int row) {
  ListViewState *state = StateOf<ListViewState>(list);
  if (!state || state->items.empty()) return;
  row = std::clamp(row, 0, static_cast<int>(state->items.size()) - 1);
  int perPage = std::max(1, ListViewLayout(list).rowsPerPage);
  if (row < state->topIndex) ListViewSetTopIndex(list, row);
  else if (row >= state->topIndex + perPage) ListViewSetTopIndex(list, row - perPage + 1);
}

bool ListViewCellPoint(HWND list, int row, int column, POINT *point) {
  ListViewState *state = StateOf<ListViewState>(list);
  if (!state || row < 0 || static_cast<size_t>(row) >= state->items.size() || column < 0 ||
      static_cast<size_t>(column) >= state->columns.size())
    return false;
  ListViewGeometry g = ListViewLayout(list);
  int y = g.headerHeight + (row - state->topIndex) * g.rowHeight + g.rowHeight / 2;
  if (row < state->topIndex || y >= g.client.bottom) return false;
  int left = 0;
  for (int i = 0; i < column; ++i) left += state->columns[i].width;
  *point = POINT{left + 3, y};
  return left + 3 < g.client.right;
}

bool ListViewEmptyPoint(HWND list, POINT *point) {
  ListViewState *state = StateOf<ListViewState>(list);
  if (!state) return false;
  ListViewGeometry g = ListViewLayout(list);
  int y = g.headerHeight + (static_cast<int>(state->items.size()) - state->topIndex) * g.rowHeight + 2;
  if (y >= g.client.bottom) return false;
  *point = POINT{3, y};
  return true;
}

}  // namespace kvplat
