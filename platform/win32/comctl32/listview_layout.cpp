// Where rows, header and scroll bars are, hit testing, scrolling, and the mouse clicks and keys that select
// in a single-selection report view.
//
// The selection mark moves to the clicked or keyed row before its state changes are notified, so that a
// parent reading LVM_GETSELECTIONMARK in LVN_ITEMCHANGED sees the row the user chose.
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
  return pt.x < ListViewHighlightRight(list, row) ? row : -1;
}


namespace {

ListViewState *State(HWND list) { return StateOf<ListViewState>(list); }

bool IsOnlySelectedAndFocused(HWND list, int row) {
  const ListViewState *state = State(list);
  if (state->focusedItem != row) return false;
  for (size_t i = 0; i < state->items.size(); ++i)
    if (((state->items[i].state & LVIS_SELECTED) != 0) != (static_cast<int>(i) == row)) return false;
  return true;
}

// What a click on a row or a key does to the selection: the row alone is selected and focused.
void SelectAsUser(HWND list, int row) {
  ListViewState *state = State(list);
  state->selectionMark = row;
  if (IsOnlySelectedAndFocused(list, row)) return;
  DeselectAllExcept(list, row);
  ChangeItemState(list, row, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
}

}  // namespace

LRESULT LButtonDown(HWND list, POINT pt) {
  int column = -1;
  int row = HitTest(list, pt, &column);
  if (row >= 0) {
    SelectAsUser(list, row);
    if (!IsWindow(list)) return 0;
    if (GetFocus() != list) SetFocus(list);
  } else {
    if (GetFocus() != list) SetFocus(list);
    if (!IsWindow(list)) return 0;
    // A click on empty space deselects everything; the focus and the mark stay where they were.
    DeselectAllExcept(list, -1);
  }
  if (ListViewState *state = State(list)) {
    state->buttonDown = true;
    state->clickItem = row;
    state->clickColumn = row >= 0 ? column : -1;
  }
  return 0;
}

LRESULT LButtonUp(HWND list, POINT pt) {
  ListViewState *state = State(list);
  if (!state->buttonDown) return 0;
  state->buttonDown = false;
  NMITEMACTIVATE nm{};
  nm.iItem = state->clickItem;
  nm.iSubItem = state->clickColumn >= 0 ? state->columns[state->clickColumn].subItem : 0;
  nm.ptAction = pt;
  if (nm.iItem >= 0 && static_cast<size_t>(nm.iItem) < state->items.size()) nm.lParam = state->items[nm.iItem].data;
  Notify(list, NM_CLICK, reinterpret_cast<NMHDR *>(&nm));
  return 0;
}

LRESULT KeyDown(HWND list, UINT vk) {
  ListViewState *state = State(list);
  if (state->items.empty()) return 0;
  const int last = static_cast<int>(state->items.size()) - 1;
  const int focused = state->focusedItem;
  const int page = std::max(1, ListViewLayout(list).rowsPerPage - 1);
  int target;
  switch (vk) {
    case VK_DOWN: target = focused < 0 ? 0 : std::min(focused + 1, last); break;
    case VK_UP: target = focused < 0 ? 0 : std::max(focused - 1, 0); break;
    case VK_HOME: target = 0; break;
    case VK_END: target = last; break;
    case VK_NEXT: target = focused < 0 ? 0 : std::min(focused + page, last); break;
    case VK_PRIOR: target = focused < 0 ? 0 : std::max(focused - page, 0); break;
    case VK_SPACE: target = focused < 0 ? 0 : focused; break;
    default: return 0;
  }
  if (target == focused && (state->items[target].state & LVIS_SELECTED)) return 0;
  SelectAsUser(list, target);
  if (IsWindow(list)) ListViewEnsureVisible(list, target);
  return 0;
}

}  // namespace listview

int ListViewHighlightRight(HWND list, int row) {
  ListViewState *state = StateOf<ListViewState>(list);
  if (!state || state->columns.empty() || row < 0 || static_cast<size_t>(row) >= state->items.size()) return 0;
  if (state->extendedStyle & LVS_EX_FULLROWSELECT) return ListViewLayout(list).columnsWidth;
  const ListViewColumn &first = state->columns[0];
  return std::min(first.width, ActiveFrontEnd().TextWidth(state->items[row].Text(first.subItem)) + CellPadding());
}

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
  for (const ListViewColumn &c : state->columns) g.columnsWidth += c.width;
  const long rowsHeight = static_cast<long>(state->items.size()) * g.rowHeight;
  g.verticalScrollBar = rowsHeight > height;
  if (g.verticalScrollBar) width -= g.scrollBarSize;
  g.horizontalScrollBar = g.columnsWidth > width;
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
