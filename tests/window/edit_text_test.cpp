// Positions in an edit's text: the selection in order, and the caret position under the mouse. Texts are
// measured with the headless metrics (6 pixels a character), which the tests run with.
#include <gtest/gtest.h>

#include "edit_text.h"

namespace {

using kvplat::window::CharacterIndexAt;
using kvplat::window::NormalizeSelection;

TEST(EditText, SelectionInOrderInsideTheText) {
  struct Case {
    int start, end;
    size_t length, a, b;
  };
  for (Case c : {Case{1, 4, 6, 1, 4}, Case{4, 1, 6, 1, 4}, Case{0, -1, 6, 0, 0}, Case{2, 99, 6, 2, 6},
                 Case{-5, 3, 6, 0, 3}, Case{3, 3, 0, 0, 0}}) {
    auto sel = NormalizeSelection(c.start, c.end, c.length);
    EXPECT_EQ(sel.start, c.a) << c.start << "," << c.end;
    EXPECT_EQ(sel.end, c.b) << c.start << "," << c.end;
  }
}

TEST(EditText, CaretGoesToTheNearestCharacterBoundary) {
  const std::pair<int, size_t> cases[] = {{-10, 0}, {0, 0}, {2, 0}, {3, 1}, {8, 1}, {9, 2}, {35, 6}, {500, 6}};
  for (const auto &[x, index] : cases) EXPECT_EQ(CharacterIndexAt("020000", x), index) << "x " << x;
  EXPECT_EQ(CharacterIndexAt("", 10), 0u);
}

}  // namespace
