// Report-view columns: insertion and widths (with the autosize rule LVSCW_AUTOSIZE_USEHEADER).
#include <algorithm>

#include "kvplat/frontend.h"
#include "listview_internal.h"
#include "../user32/wnd_internal.h"

namespace kvplat::listview {

namespace {

int WidestText(const ListViewState &state, int subItem) {
  FrontEnd &fe = ActiveFrontEnd();
  int widest = 0;
  for (const ListViewItem &item : state.items) {
    const std::string &text = item.Text(subItem);
    if (!text.empty()) widest = std::max(widest, fe.TextWidth(text));
  }
  return widest;
}

}  // namespace

LRESULT InsertColumn(HWND list, int index, const LVCOLUMNA *column) {
  ListViewState *state = StateOf<ListViewState>(list);
  if (!column || index < 0) return -1;
  const int count = static_cast<int>(state->columns.size());
  if (index > count) index = count;
  ListViewColumn added;
  if (column->mask & LVCF_TEXT) added.text = column->pszText ? column->pszText : "";
  if (column->mask & LVCF_WIDTH) added.width = std::max(0, column->cx);
  if (column->mask & LVCF_FMT) added.format = column->fmt;
  added.subItem = (column->mask & LVCF_SUBITEM) ? column->iSubItem : index;
  state->columns.insert(state->columns.begin() + index, std::move(added));
  InvalidateWindow(list);
  return index;
}

LRESULT SetColumnWidth(HWND list, int index, int width) {
  ListViewState *state = StateOf<ListViewState>(list);
  if (index < 0 || static_cast<size_t>(index) >= state->columns.size()) return FALSE;
  ListViewColumn &column = state->columns[index];
  if (width == LVSCW_AUTOSIZE_USEHEADER) {
    if (static_cast<size_t>(index) + 1 == state->columns.size()) {
      // The last column takes the rest of the client width.
      int left = 0;
      for (int i = 0; i < index; ++i) left += state->columns[i].width;
      width = std::max(0, static_cast<int>(ListViewLayout(list).client.right) - left);
    } else {
      width = std::max(ActiveFrontEnd().TextWidth(column.text) + HeaderPadding(),
                       WidestText(*state, column.subItem) + CellPadding());
    }
  } else if (width < 0) {
    return FALSE;
  }
  state->columns[index].width = width;
  if (state->redraw) ActiveFrontEnd().Invalidate(list);
  return TRUE;
}

}  // namespace kvplat::listview

namespace kvplat {

int CellPadding() { return 2 * ScaleForDpi(kCellMargin); }
// The header item's divider takes one pixel more.
int HeaderPadding() { return 2 * ScaleForDpi(kHeaderMargin) + 1; }

}  // namespace kvplat
