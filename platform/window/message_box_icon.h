// The system icons of message boxes (MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONASTERISK),
// drawn with FLTK's primitives.
#pragma once
#include <windows.h>

namespace kvplat::window {

void DrawMessageBoxIcon(UINT type, int x, int y, int size);

}  // namespace kvplat::window
