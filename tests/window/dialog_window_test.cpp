// The dialog window's widgets against the window manager's state, without a display: FLTK events are
// simulated by setting FLTK's event fields and calling the window's handler, and the messages that reach
// the dialog are compared with tables. Metrics are the headless ones (6 x 13: list rows 17, header 21).
#include <gtest/gtest.h>

#include <FL/Fl.H>

#include <commctrl.h>

#include <string>
#include <vector>

#include "dialog_window.h"
#include "kvplat/listview.h"
#include "kvplat/window.h"

namespace {

using kvplat::window::DialogWindow;
using Lines = std::vector<std::string>;

Lines g_log;

INT_PTR CALLBACK LoggingProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND) {
    g_log.push_back("COMMAND " + std::to_string(LOWORD(wParam)));
    if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  if (msg == WM_NOTIFY) {
    auto *header = reinterpret_cast<NMHDR *>(lParam);
    if (header->code == NM_CLICK)
      g_log.push_back("CLICK " + std::to_string(reinterpret_cast<NMITEMACTIVATE *>(lParam)->iItem));
    return TRUE;
  }
  return FALSE;
}

class DialogWindowTest : public ::testing::Test {
 public:
  void SetUp() override {
    InitCommonControls();
    g_log.clear();
    dialog = kvplat::CreateWindowState("#32770", "kelvorant", WS_POPUP | WS_CAPTION, 0, RECT{0, 0, 400, 300},
                                       nullptr, 0);
    kvplat::StateOf<kvplat::DialogState>(dialog)->dialogProc = LoggingProc;
    Child("Button", "Exit", BS_DEFPUSHBUTTON | WS_TABSTOP, {10, 10, 70, 40}, IDOK);
    list = Child(WC_LISTVIEWA, "", LVS_REPORT | LVS_SINGLESEL | WS_BORDER | WS_TABSTOP, {10, 50, 210, 200}, 1000);
    button = Child("Button", "1", WS_TABSTOP, {240, 30, 300, 60}, 1013);
    edit = Child("Edit", "020000", ES_READONLY | WS_BORDER, {240, 70, 300, 90}, 1004);
    Child("Button", "Save config", BS_GROUPBOX, {230, 10, 310, 100}, -1);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char *>("Type");
    column.cx = 150;
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    for (int i = 0; i < 20; ++i) {
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = i;
      item.pszText = const_cast<char *>("Bridge device");
      SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    SetFocus(GetDlgItem(dialog, IDOK));
    window = std::make_unique<DialogWindow>(dialog);
    g_log.clear();
  }
  void TearDown() override {
    window.reset();
    DestroyWindow(dialog);
  }

  HWND Child(const char *cls, const char *text, DWORD style, RECT r, int id) {
    return kvplat::CreateWindowState(cls, text, style | WS_CHILD | WS_VISIBLE, 0, r, dialog, id);
  }

  // A left button press and release at window coordinates, as Fl::handle delivers them.
  void Click(int x, int y, int releaseX = -1, int releaseY = -1) {
    Fl::e_x = x;
    Fl::e_y = y;
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    Fl::e_clicks = 0;
    Fl::pushed(window.get());
    window->handle(FL_PUSH);
    Fl_Widget *target = Fl::pushed();
    if (releaseX >= 0) {
      Fl::e_x = releaseX;
      Fl::e_y = releaseY;
      if (target && target != window.get()) target->handle(FL_DRAG);
    }
    if (target && target != window.get()) target->handle(FL_RELEASE);
    Fl::pushed(nullptr);
  }
  // A key pressed (and held: each press after the first is a repeat), released, or both.
  void Down(int key, int state = 0) {
    Fl::e_keysym = key;
    Fl::e_state = state;
    window->handle(FL_KEYBOARD);
    Fl::e_state = 0;
  }
  void Up(int key) {
    Fl::e_keysym = key;
    window->handle(FL_KEYUP);
  }
  void Key(int key, int state = 0) {
    Down(key, state);
    Up(key);
  }
  int Selected() {
    auto *state = kvplat::StateOf<kvplat::ListViewState>(list);
    for (size_t i = 0; i < state->items.size(); ++i)
      if (state->items[i].state & LVIS_SELECTED) return static_cast<int>(i);
    return -1;
  }

  HWND dialog = nullptr, list = nullptr, button = nullptr, edit = nullptr;
  std::unique_ptr<DialogWindow> window;
};

TEST_F(DialogWindowTest, OneWidgetPerControlAtItsRectangle) {
  ASSERT_EQ(window->children(), 5);
  const RECT rects[] = {{10, 10, 70, 40}, {10, 50, 210, 200}, {240, 30, 300, 60}, {240, 70, 300, 90},
                        {230, 10, 310, 100}};
  for (int i = 0; i < 5; ++i) {
    Fl_Widget *w = window->child(i);
    EXPECT_EQ(w->x(), rects[i].left) << i;
    EXPECT_EQ(w->y(), rects[i].top) << i;
    EXPECT_EQ(w->x() + w->w(), rects[i].right) << i;
    EXPECT_EQ(w->y() + w->h(), rects[i].bottom) << i;
  }
  EXPECT_STREQ(window->label(), "kelvorant");
  EXPECT_EQ(window->w(), 400);
  EXPECT_EQ(window->h(), 300);
}

TEST_F(DialogWindowTest, MouseReachesTheControlUnderIt) {
  struct Case {
    const char *name;
    int x, y, releaseX, releaseY;
    Lines expected;
    HWND focusAfter;
  };
  const Case cases[] = {
      {"button", 270, 45, -1, -1, {"COMMAND 1013"}, button},
      // The group box lies over the button, later in order: clicks go through it.
      {"button under the group box's frame", 242, 32, -1, -1, {"COMMAND 1013"}, button},
      {"button released elsewhere", 270, 45, 100, 250, {}, button},
      // Row 2 is drawn 21 + 2 * 17 pixels below the list's client top, inside its one-pixel border.
      {"list row", 60, 50 + 1 + 21 + 2 * 17 + 8, -1, -1, {"CLICK 2"}, list},
      {"list header: nothing", 60, 60, -1, -1, {}, list},
      {"group box caption: nothing", 305, 12, -1, -1, {}, list},
      {"edit", 250, 80, -1, -1, {}, edit},
  };
  for (const Case &c : cases) {
    g_log.clear();
    Click(c.x, c.y, c.releaseX, c.releaseY);
    EXPECT_EQ(g_log, c.expected) << c.name;
    EXPECT_EQ(GetFocus(), c.focusAfter) << c.name;
  }
  EXPECT_EQ(Selected(), 2);
  EXPECT_FALSE(kvplat::StateOf<kvplat::ButtonState>(button)->pushed);
}

TEST_F(DialogWindowTest, ScrollBarsScrollTheRows) {
  // 20 rows, 7 in view: the vertical bar runs from y 51 to 198 at x 192 to 208, an arrow 17 pixels at each end.
  const struct {
    const char *name;
    int x, y, releaseX, releaseY, top;
  } cases[] = {
      {"down arrow", 200, 190, -1, -1, 1},
      {"thumb dragged past the end", 200, 80, 200, 300, 13},
      {"up arrow", 200, 60, -1, -1, 12},
  };
  for (const auto &c : cases) {
    Click(c.x, c.y, c.releaseX, c.releaseY);
    EXPECT_EQ(kvplat::StateOf<kvplat::ListViewState>(list)->topIndex, c.top) << c.name;
  }
  EXPECT_TRUE(g_log.empty()) << "a click on a bar is no click on the rows";
}

TEST_F(DialogWindowTest, KeysGoToTheDialogManager) {
  struct Case {
    const char *name;
    HWND focus;
    std::vector<int> keys;
    Lines expected;
    int selectedAfter;
  };
  const Case cases[] = {
      {"Tab moves to the list", nullptr, {FL_Tab}, {}, -1},
      {"arrows move in the focused list", list, {FL_Down, FL_Down, FL_Down, FL_Up}, {}, 1},
      {"Enter in the list presses the default button", list, {FL_Enter}, {"COMMAND 1"}, -1},
      {"Space presses the focused button", button, {' '}, {"COMMAND 1013"}, -1},
      {"keys without a meaning here do nothing", button, {'a', FL_F + 1}, {}, -1},
      {"Escape cancels", button, {FL_Escape}, {"COMMAND 2"}, -1},
  };
  for (const Case &c : cases) {
    g_log.clear();
    if (c.focus) SetFocus(c.focus);
    for (int key : c.keys) Key(key);
    EXPECT_EQ(g_log, c.expected) << c.name;
    if (c.selectedAfter >= 0) {
      EXPECT_EQ(Selected(), c.selectedAfter) << c.name;
    }
  }
  SetFocus(GetDlgItem(dialog, IDOK));
  Key(FL_Tab);
  EXPECT_EQ(GetFocus(), list);
  Key(FL_Tab, FL_SHIFT);
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK)) << "Shift+Tab goes back";

  // Space held down repeats its presses: the button clicks once, as the key comes up.
  g_log.clear();
  SetFocus(button);
  for (int i = 0; i < 3; ++i) Down(' ');
  EXPECT_TRUE(g_log.empty());
  Up(' ');
  EXPECT_EQ(g_log, Lines{"COMMAND 1013"});
}

TEST_F(DialogWindowTest, EditSelectionByDragging) {
  // "020000" from x = 240 + 2 (sunken edge) + 2 (margin): dragging over three characters selects them.
  Click(244 + 1, 80, 244 + 3 * 6 + 1, 80);
  auto *state = kvplat::StateOf<kvplat::EditState>(edit);
  EXPECT_EQ(GetFocus(), edit);
  EXPECT_EQ(state->selectionStart, 0);
  EXPECT_EQ(state->selectionEnd, 3);
}

TEST_F(DialogWindowTest, ControlsFollowTheirWindowState) {
  ShowWindow(button, SW_HIDE);
  window->Invalidate(button);
  EXPECT_FALSE(window->child(2)->visible());
  g_log.clear();
  Click(270, 45);
  EXPECT_TRUE(g_log.empty()) << "a hidden button takes no clicks";
  ShowWindow(button, SW_SHOW);
  window->Invalidate(button);
  EXPECT_TRUE(window->child(2)->visible());

  SetWindowTextA(dialog, "renamed");
  window->Invalidate(dialog);
  EXPECT_STREQ(window->label(), "renamed");

  window->WindowDestroyed(list);
  EXPECT_FALSE(window->child(1)->visible());
}

}  // namespace
