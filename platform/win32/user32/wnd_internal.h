// Helpers shared by the window procedures of user32 and comctl32.
#pragma once
#include <windows.h>

#include <string>

namespace kvplat {

// WM_GETTEXT into a caller's buffer: copies at most bufferSize - 1 characters and a NUL, returns the count.
LRESULT CopyWindowText(const std::string &text, WPARAM bufferSize, LPARAM buffer);

// A message that this window class does not implement: says so loudly, and the caller returns 0.
void ReportUnimplementedMessage(HWND hwnd, UINT msg);

// The window's look changed: the front end repaints it.
void InvalidateWindow(HWND hwnd);

// WM_SETICON and WM_GETICON of top-level windows.
LRESULT WindowIcon(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The window procedures of the predefined control classes, and their registration.
LRESULT CALLBACK ButtonWndProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditWndProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticWndProc(HWND, UINT, WPARAM, LPARAM);
void RegisterSystemClasses();

}  // namespace kvplat
