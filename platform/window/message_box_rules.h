// What the keys and the close box of a message box answer, as Windows decides it.
#pragma once
#include <windows.h>

namespace kvplat::window {

// The answer of Escape and of the close box: IDCANCEL when there is a Cancel button, IDOK for a box with
// only OK, and 0 (nothing happens, the close box is disabled) for Yes/No and Abort/Retry/Ignore.
int MessageBoxEscapeResult(UINT type);

// The button that Tab (or an arrow) moves the focus to, wrapping around.
int NextMessageBoxButton(int current, int count, bool forward);

}  // namespace kvplat::window
