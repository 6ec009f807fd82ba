// BM_SETSTATE, which the window front end sends while the mouse holds a push button: a button released
// after the mouse left it springs back without a click.
#include <gtest/gtest.h>

#include "kvplat/window.h"
#include "message_log.h"

namespace {

struct Case {
  const char *name;
  std::vector<std::pair<UINT, WPARAM>> messages;
  bool pushedAfter;
  std::vector<std::string> expected;
};

TEST(ButtonState, MouseHeldAndReleased) {
  const Case cases[] = {
      {"press and release", {{WM_LBUTTONDOWN, MK_LBUTTON}, {WM_LBUTTONUP, 0}}, false, {"COMMAND 7 code=0"}},
      {"press, leave, release", {{WM_LBUTTONDOWN, MK_LBUTTON}, {BM_SETSTATE, FALSE}, {WM_LBUTTONUP, 0}}, false, {}},
      {"press, leave, come back, release",
       {{WM_LBUTTONDOWN, MK_LBUTTON}, {BM_SETSTATE, FALSE}, {BM_SETSTATE, TRUE}, {WM_LBUTTONUP, 0}},
       false,
       {"COMMAND 7 code=0"}},
      {"press and leave", {{WM_LBUTTONDOWN, MK_LBUTTON}, {BM_SETSTATE, FALSE}}, false, {}},
      {"press", {{WM_LBUTTONDOWN, MK_LBUTTON}}, true, {}},
  };
  for (const Case &c : cases) {
    kvtest::MessageLog log;
    HWND parent = kvtest::CreateLoggingParent(&log);
    HWND button = kvplat::CreateWindowState("Button", "Go", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0,
                                            RECT{0, 0, 50, 20}, parent, 7);
    for (auto [msg, wParam] : c.messages) SendMessageA(button, msg, wParam, MAKELPARAM(5, 5));
    EXPECT_EQ(kvplat::StateOf<kvplat::ButtonState>(button)->pushed, c.pushedAfter) << c.name;
    EXPECT_EQ(log.entries, c.expected) << c.name;
    DestroyWindow(parent);
  }
}

TEST(ButtonState, GroupBoxesAreNeverPushed) {
  kvtest::MessageLog log;
  HWND parent = kvtest::CreateLoggingParent(&log);
  HWND group = kvplat::CreateWindowState("Button", "Slots", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0,
                                         RECT{0, 0, 50, 50}, parent, -1);
  SendMessageA(group, BM_SETSTATE, TRUE, 0);
  EXPECT_FALSE(kvplat::StateOf<kvplat::ButtonState>(group)->pushed);
  DestroyWindow(parent);
}

}  // namespace
