// Input as Windows delivers it: front ends call these for a person's mouse and keyboard, the headless front
// end for its script. Each produces the messages and notifications of the real system, synchronously.
#pragma once
#include <windows.h>

namespace kvplat::input {

// A mouse click on a control that is not a list view: the control takes the focus; a push button then
// reports BN_CLICKED to its parent. False, with nothing sent, when the control has no area to click.
bool Click(HWND control);

// A mouse click on row `row` (column `column`) of a list view, scrolled into view first, or below its last
// row, scrolled to the end first. False, with nothing sent, when there is no such point: no such row or
// column, a list too short to show a row, no space below the rows.
bool ClickListRow(HWND list, int row, int column);
bool ClickListEmpty(HWND list);

// A key pressed while `dialog` is active: the dialog manager decides (Tab, Enter, Escape), the focused
// control gets the rest.
void Key(HWND dialog, UINT vk);

// The keyboard focus moved to a control (as by a click on it, without the click's other effects).
void Focus(HWND control);

// The close box of a top-level window.
void CloseBox(HWND window);

// The window was minimised or restored by the window manager.
void SetMinimized(HWND window, bool minimized);

// Scrolls a list view so that `topIndex` is its first visible row.
void ScrollList(HWND list, int topIndex);

}  // namespace kvplat::input
