// List view items and columns: insertion, texts, data, the LVIS_ states with their notification, deletion,
// the mark; column widths (with the autosize rule LVSCW_AUTOSIZE_USEHEADER).
//
// Every notification is sent before the message that caused it returns, and its handler may change the list
// (even delete every item), so nothing here holds a reference to an item across a notification.
#include <algorithm>

#include "kvplat/diag.h"
#include "kvplat/frontend.h"
#include "listview_internal.h"
#include "../user32/wnd_internal.h"

namespace kvplat::listview {

namespace {

constexpr UINT kManagedStates = LVIS_SELECTED | LVIS_FOCUSED;

ListViewState *State(HWND list) { return StateOf<ListViewState>(list); }

bool Exists(HWND list, int index) {
  ListViewState *state = State(list);
  return state && index >= 0 && static_cast<size_t>(index) < state->items.size();
}

void Repaint(HWND list) {
  if (ListViewState *state = State(list); state && state->redraw) ActiveFrontEnd().Invalidate(list);
}

void SetText(ListViewItem &item, int subItem, const char *text) {
  if (static_cast<size_t>(subItem) >= item.texts.size()) item.texts.resize(subItem + 1);
  item.texts[subItem] = text ? text : "";
}

// LVN_ITEMCHANGED: what changed of an item, with its state before and after when LVIF_STATE was set.
void NotifyChanged(HWND list, int index, UINT newState, UINT oldState, UINT changed, LPARAM data) {
  NMLISTVIEW nm{};
  nm.iItem = index;
  nm.uNewState = newState;
  nm.uOldState = oldState;
  nm.uChanged = changed;
  nm.lParam = data;
  Notify(list, LVN_ITEMCHANGED, reinterpret_cast<NMHDR *>(&nm));
}

// Applies LVIF_TEXT, LVIF_PARAM and LVIF_STATE to an existing item, then sends LVN_ITEMCHANGED when
// something really changed. (Windows asks the parent first with LVN_ITEMCHANGING; the program never refuses
// a change, so nothing asks here.)
bool SetMainItem(HWND list, int index, UINT mask, const char *text, LPARAM data, UINT state, UINT stateMask) {
  if (!Exists(list, index)) return false;
  const ListViewItem &before = State(list)->items[index];
  const UINT oldState = before.state;
  const UINT newState = (oldState & ~stateMask) | (state & stateMask);
  const LPARAM oldData = before.data;
  UINT changed = 0;
  if ((mask & LVIF_STATE) && newState != oldState) changed |= LVIF_STATE;
  if ((mask & LVIF_PARAM) && data != oldData) changed |= LVIF_PARAM;
  if ((mask & LVIF_TEXT) && before.Text(0) != (text ? text : "")) changed |= LVIF_TEXT;

  {
    ListViewItem &item = State(list)->items[index];
    if (mask & LVIF_TEXT) SetText(item, 0, text);
    if (mask & LVIF_PARAM) item.data = data;
    item.state = (item.state & kManagedStates) | (newState & ~kManagedStates);
  }
  if (!changed) return true;

  if (changed & LVIF_STATE) {
    const UINT delta = oldState ^ newState;
    if (delta & LVIS_SELECTED) {
      if (newState & LVIS_SELECTED) {
        if (FindWindowState(list)->style & LVS_SINGLESEL) DeselectAllExcept(list, index);
        if (!Exists(list, index)) return false;
        State(list)->items[index].state |= LVIS_SELECTED;
      } else {
        State(list)->items[index].state &= ~LVIS_SELECTED;
      }
    }
    if (delta & LVIS_FOCUSED) {
      ListViewState *st = State(list);
      if (newState & LVIS_FOCUSED) {
        // The mark follows the first focus only when nothing set it before.
        if (st->focusedItem == -1 && st->selectionMark == -1) st->selectionMark = index;
        if (st->focusedItem != -1 && st->focusedItem != index) ChangeItemState(list, st->focusedItem, 0, LVIS_FOCUSED);
        if (!Exists(list, index)) return false;
        st = State(list);
        st->items[index].state |= LVIS_FOCUSED;
        st->focusedItem = index;
      } else {
        st->items[index].state &= ~LVIS_FOCUSED;
        if (st->focusedItem == index) st->focusedItem = -1;
      }
    }
  }
  Repaint(list);
  const bool stateSet = (mask & LVIF_STATE) != 0;
  NotifyChanged(list, index, stateSet ? newState : 0, stateSet ? oldState : 0, changed,
                (mask & LVIF_PARAM) ? data : oldData);
  return true;
}

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

bool ChangeItemState(HWND list, int index, UINT state, UINT mask) {
  return SetMainItem(list, index, LVIF_STATE, nullptr, 0, state, mask);
}

void DeselectAllExcept(HWND list, int keep) {
  for (int i = 0; Exists(list, i); ++i)
    if (i != keep && (State(list)->items[i].state & LVIS_SELECTED)) ChangeItemState(list, i, 0, LVIS_SELECTED);
}

LRESULT InsertItem(HWND list, const LVITEMA *item) {
  ListViewState *state = State(list);
  if (!item || item->iItem < 0 || item->iSubItem != 0) return -1;
  const int count = static_cast<int>(state->items.size());
  const int index = item->iItem > count ? count : item->iItem;
  ListViewItem added;
  if (item->mask & LVIF_TEXT) SetText(added, 0, item->pszText);
  if (item->mask & LVIF_PARAM) added.data = item->lParam;
  state->items.insert(state->items.begin() + index, std::move(added));
  if (state->focusedItem >= index) ++state->focusedItem;
  if (state->selectionMark >= index) ++state->selectionMark;
  Repaint(list);
  return index;
}

LRESULT SetItem(HWND list, const LVITEMA *item) {
  if (!item || !Exists(list, item->iItem)) return FALSE;
  if (item->iSubItem == 0)
    return SetMainItem(list, item->iItem, item->mask, item->pszText, item->lParam, item->state, item->stateMask);
  // A sub-item carries only its text, and only under an existing column.
  ListViewState *state = State(list);
  if (item->iSubItem < 0 || static_cast<size_t>(item->iSubItem) >= state->columns.size()) return FALSE;
  if (item->mask & ~LVIF_TEXT) return FALSE;
  if (item->mask & LVIF_TEXT) SetText(state->items[item->iItem], item->iSubItem, item->pszText);
  Repaint(list);
  return TRUE;
}

// The program reads an item's data, nothing else.
LRESULT GetItem(HWND list, LVITEMA *item) {
  if (!item || !Exists(list, item->iItem)) return FALSE;
  if (item->mask != LVIF_PARAM || item->iSubItem != 0) {
    ReportUnimplemented("LVM_GETITEM for more than the item's LVIF_PARAM");
    return FALSE;
  }
  item->lParam = State(list)->items[item->iItem].data;
  return TRUE;
}

LRESULT SetItemState(HWND list, int index, const LVITEMA *item) {
  if (!item) return FALSE;
  if (index != -1) return ChangeItemState(list, index, item->state, item->stateMask);
  for (int i = 0; Exists(list, i); ++i) ChangeItemState(list, i, item->state, item->stateMask);
  return TRUE;
}

LRESULT DeleteAllItems(HWND list) {
  ListViewState *state = State(list);
  state->items.clear();
  state->focusedItem = -1;
  state->selectionMark = -1;
  state->topIndex = 0;
  Repaint(list);
  return TRUE;
}

LRESULT SetSelectionMark(HWND list, int index) {
  ListViewState *state = State(list);
  int old = state->selectionMark;
  if (index >= -1 && index < static_cast<int>(state->items.size())) state->selectionMark = index;
  return old;
}

LRESULT InsertColumn(HWND list, int index, const LVCOLUMNA *column) {
  ListViewState *state = StateOf<ListViewState>(list);
  if (!column || index < 0) return -1;
  const int count = static_cast<int>(state->columns.size());
  if (index > count) index = count;
  ListViewColumn added;
  if (column->mask & LVCF_TEXT) added.text = column->pszText ? column->pszText : "";
  if (column->mask & LVCF_WIDTH) added.width = std::max(0, column->cx);
  added.subItem = (column->mask & LVCF_SUBITEM) ? column->iSubItem : index;
  state->columns.insert(state->columns.begin() + index, std::move(added));
  InvalidateWindow(list);
  return index;
}

LRESULT SetColumnWidth(HWND list, int index, int width) {
  ListViewState *state = StateOf<ListViewState>(list);
  if (index < 0 || static_cast<size_t>(index) >= state->columns.size()) return FALSE;
  if (width == LVSCW_AUTOSIZE_USEHEADER) {
    if (static_cast<size_t>(index) + 1 == state->columns.size()) {
      // The last column takes the rest of the client width.
      int left = 0;
      for (int i = 0; i < index; ++i) left += state->columns[i].width;
      width = std::max(0, static_cast<int>(ListViewLayout(list).client.right) - left);
    } else {
      const ListViewColumn &column = state->columns[index];
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
