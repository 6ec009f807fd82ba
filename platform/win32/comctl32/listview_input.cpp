// Mouse clicks and keyboard selection in a single-selection report view.
//
// The selection mark moves to the clicked or keyed row before its state changes are notified, so that a
// parent reading LVM_GETSELECTIONMARK in LVN_ITEMCHANGED sees the row the user chose.
#include <algorithm>

#include "listview_internal.h"

namespace kvplat::listview {

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

}  // namespace kvplat::listview
