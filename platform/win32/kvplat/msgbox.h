// Message box buttons by type, shared by the front ends.
#pragma once
#include <windows.h>

#include <vector>

namespace kvplat {

struct MessageBoxButton {
  int id;            // IDOK, IDCANCEL, ...
  const char *text;  // "OK", "Cancel", ...
};

// The buttons of a message box type, left to right.
std::vector<MessageBoxButton> MessageBoxButtons(UINT type);
// The button that Enter (or a script) presses: MB_DEFBUTTONn of the type.
int MessageBoxDefaultButton(UINT type);

}  // namespace kvplat
