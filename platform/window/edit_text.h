// Text positions inside an edit: which character a mouse position falls on, the selection in order, and
// copying it to the clipboard.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string_view>

namespace kvplat::window {

struct EditSelection {
  size_t start = 0;
  size_t end = 0;
};

// EM_SETSEL keeps the anchor and the active end as given; drawing and copying need them in order, inside
// the text.
EditSelection NormalizeSelection(int start, int end, size_t length);

// The caret position nearest to `x` pixels from the text's left edge, in the dialog font.
size_t CharacterIndexAt(std::string_view text, int x);

// Copies the selected text of an edit: clipboard 1 is the clipboard, 0 X11's primary selection. Nothing
// happens when the selection is empty.
void CopySelection(HWND edit, int clipboard);

}  // namespace kvplat::window
