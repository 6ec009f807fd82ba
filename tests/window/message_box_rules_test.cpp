// What Escape and the close box answer in a message box, per type, and focus movement among its buttons.
#include <gtest/gtest.h>

#include "kvplat/msgbox.h"
#include "message_box_rules.h"

namespace {

using kvplat::window::MessageBoxEscapeResult;
using kvplat::window::NextMessageBoxButton;

TEST(MessageBoxRules, EscapeAnswers) {
  const std::pair<UINT, int> cases[] = {
      {MB_OK, IDOK},
      {MB_OK | MB_ICONHAND, IDOK},
      {MB_OKCANCEL, IDCANCEL},
      {MB_OKCANCEL | MB_DEFBUTTON1, IDCANCEL},
      {MB_YESNOCANCEL, IDCANCEL},
      {MB_RETRYCANCEL, IDCANCEL},
      {MB_YESNO, 0},
      {MB_ABORTRETRYIGNORE, 0},
  };
  for (const auto &[type, answer] : cases) EXPECT_EQ(MessageBoxEscapeResult(type), answer) << "type " << type;
}

TEST(MessageBoxRules, FocusWrapsAroundTheButtons) {
  EXPECT_EQ(NextMessageBoxButton(0, 3, true), 1);
  EXPECT_EQ(NextMessageBoxButton(2, 3, true), 0);
  EXPECT_EQ(NextMessageBoxButton(0, 3, false), 2);
  EXPECT_EQ(NextMessageBoxButton(0, 1, true), 0);
  EXPECT_EQ(NextMessageBoxButton(0, 0, true), 0);
}

}  // namespace
