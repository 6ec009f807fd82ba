// The list view's state (report view): columns, items with their sub-item texts, data and LVIS_ states, the
// selection mark, the focused item and the scroll position.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "kvplat/window.h"

namespace kvplat {

struct ListViewColumn {
  std::string text;
  int width = 0;
  int subItem = 0;  // the sub-item whose texts this column shows
};

struct ListViewItem {
  std::vector<std::string> texts;  // by sub-item index; missing entries are empty
  LPARAM data = 0;
  UINT state = 0;  // LVIS_
  const std::string &Text(int subItem) const;
};

struct ListViewState : ControlState {
  DWORD extendedStyle = 0;
  std::vector<ListViewColumn> columns;
  std::vector<ListViewItem> items;
  int selectionMark = -1;
  int focusedItem = -1;
  int topIndex = 0;
  bool redraw = true;
  bool hasFocus = false;
  // Between WM_LBUTTONDOWN and WM_LBUTTONUP: what the click hit, for NM_CLICK.
  bool buttonDown = false;
  int clickItem = -1;
  int clickColumn = -1;
};

// Where things are inside a list view, in its client coordinates.
struct ListViewGeometry {
  RECT client{};  // inside the border and the scroll bars
  int headerHeight = 0;
  int rowHeight = 0;
  bool verticalScrollBar = false;
  bool horizontalScrollBar = false;
  int rowsPerPage = 0;  // rows that fit entirely
  int scrollBarSize = 0;  // the width of a vertical bar, the height of a horizontal one
  int columnsWidth = 0;   // all columns side by side
};
ListViewGeometry ListViewLayout(HWND list);

// The right end of what a row's selection highlights, its focus rectangle frames and a click hits, from the
// client's left edge with the columns unscrolled: every column with LVS_EX_FULLROWSELECT, else the first
// column's label. 0 for no such row.
int ListViewHighlightRight(HWND list, int row);

// Sizes at 96 dpi; ScaleForDpi gives them at the front end's resolution.
constexpr int kScrollBarSize = 17;  // SM_CXVSCROLL, SM_CYHSCROLL
constexpr int kCellMargin = 6;      // between a cell's text and each edge of its column
constexpr int kHeaderMargin = 5;    // between a heading's text and each edge of its header item
// The room a column needs beside its widest text, for a cell and for a heading (LVSCW_AUTOSIZE_USEHEADER).
int CellPadding();
int HeaderPadding();

// Scrolling and hit points, for input and front ends (the messages' work without the messages).
void ListViewEnsureVisible(HWND list, int row);
void ListViewSetTopIndex(HWND list, int topIndex);
// A point inside the cell of `row` and `column` (display order), in the list's client coordinates; false when
// the row or the column does not exist or the row is scrolled out of view.
bool ListViewCellPoint(HWND list, int row, int column, POINT *point);
// A point in the list's client area below its last row; false when the rows fill the view.
bool ListViewEmptyPoint(HWND list, POINT *point);

}  // namespace kvplat
