// The list view's handlers, one file per concern, reached from the one window procedure in listview.cpp.
#pragma once
#include <commctrl.h>

#include "kvplat/listview.h"

namespace kvplat::listview {

// Notifications to the parent, sent synchronously. `header` starts the whole notification structure (an
// NMLISTVIEW, say), which the parent reads through it.
LRESULT Notify(HWND list, UINT code, NMHDR *header);

// Items and columns (listview_items.cpp).
LRESULT InsertItem(HWND list, const LVITEMA *item);
LRESULT SetItem(HWND list, const LVITEMA *item);
LRESULT GetItem(HWND list, LVITEMA *item);
LRESULT SetItemState(HWND list, int index, const LVITEMA *item);
LRESULT DeleteAllItems(HWND list);
LRESULT SetSelectionMark(HWND list, int index);
// Changes the state bits of one item as LVM_SETITEMSTATE does; false when the item does not exist.
bool ChangeItemState(HWND list, int index, UINT state, UINT mask);
// Deselects every item but `keep`.
void DeselectAllExcept(HWND list, int keep);
LRESULT InsertColumn(HWND list, int index, const LVCOLUMNA *column);
LRESULT SetColumnWidth(HWND list, int index, int width);

// Mouse and keyboard, geometry (listview_layout.cpp).
LRESULT LButtonDown(HWND list, POINT pt);
LRESULT LButtonUp(HWND list, POINT pt);
LRESULT KeyDown(HWND list, UINT vk);
// The row at a point of the client area, or -1; *column gets the column there (or -1).
int HitTest(HWND list, POINT pt, int *column);

}  // namespace kvplat::listview
