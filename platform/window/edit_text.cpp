#include "edit_text.h"

#include <FL/Fl.H>

#include <algorithm>

#include "kvplat/frontend.h"
#include "kvplat/window.h"

namespace kvplat::window {

EditSelection NormalizeSelection(int start, int end, size_t length) {
  auto clamp = [length](int v) { return static_cast<size_t>(std::clamp<long long>(v, 0, static_cast<long long>(length))); };
  size_t a = clamp(start), b = clamp(end);
  return a <= b ? EditSelection{a, b} : EditSelection{b, a};
}

size_t CharacterIndexAt(std::string_view text, int x) {
  FrontEnd &fe = ActiveFrontEnd();
  int previous = 0;
  for (size_t i = 1; i <= text.size(); ++i) {
    int width = fe.TextWidth(text.substr(0, i));
    // Past the middle of character i-1, the caret goes after it.
    if (x < (previous + width + 1) / 2) return i - 1;
    previous = width;
  }
  return text.size();
}

void CopySelection(HWND edit, int clipboard) {
  Window *w = FindWindowState(edit);
  auto *state = StateOf<EditState>(edit);
  if (!w || !state) return;
  EditSelection sel = NormalizeSelection(state->selectionStart, state->selectionEnd, w->text.size());
  // X11 selections are owned by a shown window; without one (no display) there is nothing to copy to.
  if (sel.end <= sel.start || !Fl::first_window()) return;
  Fl::copy(w->text.data() + sel.start, static_cast<int>(sel.end - sel.start), clipboard);
}

}  // namespace kvplat::window
