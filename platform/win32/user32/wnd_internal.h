// What the window procedures of user32 and comctl32 share.
#pragma once
#include <windows.h>

#include "kvplat/frontend.h"

namespace kvplat {

// The window's look changed: the front end repaints it.
inline void InvalidateWindow(HWND hwnd) { ActiveFrontEnd().Invalidate(hwnd); }

// The dialog that contains a window (the window itself when it is a dialog), or null.
HWND OwningDialog(HWND hwnd);

// The next control with WS_TABSTOP after `from` in a dialog's tab order (`backwards`: before it), wrapping
// around; from null, the first (the last). Only visible, enabled controls count.
HWND NextTabStop(HWND dialog, HWND from, bool backwards = false);

// The next control after `from` (or before it) within its group, the controls from one with WS_GROUP up to
// the next one with it, wrapping around within the group, as GetNextDlgGroupItem: visible, enabled and not
// static, as the dialog manager's arrow keys pass static controls by.
HWND NextGroupItem(HWND dialog, HWND from, bool backwards);

// The window procedures of the predefined control classes.
LRESULT CALLBACK ButtonWndProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditWndProc(HWND, UINT, WPARAM, LPARAM);

}  // namespace kvplat
