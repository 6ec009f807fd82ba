// The dialog manager: dialogs built from a template (test_dialogs.rc), the initial focus, and the keys a
// dialog takes.
#include <gtest/gtest.h>

#include "kvplat/resources.h"
#include "kvplat/window.h"
#include "message_log.h"
#include "test_frontend.h"


namespace {

std::vector<std::string> g_log;
BOOL g_endInInit = FALSE;
HWND g_initialised = nullptr;  // the last dialog that WM_INITDIALOG reached

INT_PTR CALLBACK LoggingDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      g_initialised = dialog;
      g_log.push_back("INITDIALOG focus=" + std::to_string(GetDlgCtrlID(reinterpret_cast<HWND>(wParam))));
      if (g_endInInit) EndDialog(dialog, 42);
      return TRUE;
    case WM_CLOSE:
      g_log.push_back("CLOSE");
      return FALSE;  // the dialog manager turns it into IDCANCEL
    case WM_COMMAND:
      g_log.push_back("COMMAND " + std::to_string(LOWORD(wParam)));
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
      return TRUE;
  }
  return FALSE;
}

INT_PTR RunDialog(kvtest::TestFrontEnd &fe, std::function<void(HWND)> body) {
  InitCommonControls();
  g_log.clear();
  fe.body = std::move(body);
  return DialogBoxIndirectParamA(nullptr, kvtest::LoadTestDialog(200), nullptr, LoggingDialogProc, 0);
}

TEST(Dialog, BuiltFromTheTemplateWithTheFocusOnTheFirstTabStop) {
  kvtest::TestFrontEnd fe;
  INT_PTR result = RunDialog(fe, [](HWND dialog) {
    kvplat::Window *w = kvplat::FindWindowState(dialog);
    EXPECT_EQ(w->text, "test");
    EXPECT_EQ(w->rect.right, 300) << "200 dialog units at a base unit of 6";
    EXPECT_EQ(w->rect.bottom, 163) << "100 dialog units at a base unit of 13";
    struct Expected {
      int id;
      const char *cls;
      RECT rect;
    };
    // Each of x, y, width and height is converted on its own, as the dialog manager does.
    const Expected controls[] = {{IDOK, "Button", {15, 16, 90, 39}},     {IDCANCEL, "Button", {105, 16, 180, 39}},
                                 {1000, "SysListView32", {15, 49, 165, 130}}, {1001, "Edit", {180, 49, 255, 72}},
                                 {1002, "Button", {180, 81, 255, 104}},  {-1, "Button", {173, 41, 263, 139}}};
    ASSERT_EQ(w->children.size(), std::size(controls));
    for (size_t i = 0; i < std::size(controls); ++i) {
      kvplat::Window *c = kvplat::FindWindowState(w->children[i]);
      EXPECT_EQ(c->id, controls[i].id);
      EXPECT_STRCASEEQ(c->className.c_str(), controls[i].cls);
      EXPECT_EQ(c->rect.left, controls[i].rect.left) << c->id;
      EXPECT_EQ(c->rect.top, controls[i].rect.top) << c->id;
      EXPECT_EQ(c->rect.right, controls[i].rect.right) << c->id;
      EXPECT_EQ(c->rect.bottom, controls[i].rect.bottom) << c->id;
      EXPECT_TRUE(c->style & WS_CHILD);
    }
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDOK);
    EXPECT_TRUE(IsWindowVisible(dialog));
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(g_log, (std::vector<std::string>{"INITDIALOG focus=1", "CLOSE", "COMMAND 2"}));
  EXPECT_EQ(fe.dialogFonts, std::vector<std::string>{"MS Shell Dlg 2|8"}) << "DS_SHELLFONT in a DIALOGEX";
}

TEST(Dialog, TheTypefaceOfATemplate) {
  struct Case {
    bool extended;
    DWORD style;
    const char *typeface;
    const char *expected;
  };
  const Case cases[] = {
      {true, DS_SHELLFONT, "MS Shell Dlg", "MS Shell Dlg 2"},
      {true, DS_SHELLFONT, "ms shell dlg", "MS Shell Dlg 2"},
      {true, DS_SETFONT, "MS Shell Dlg", "MS Shell Dlg"},
      {false, DS_SHELLFONT, "MS Shell Dlg", "MS Shell Dlg"},  // a DIALOG template
      {true, DS_SHELLFONT, "Tahoma", "Tahoma"},
      {true, DS_FIXEDSYS, "MS Shell Dlg", ""},  // no font of its own: the system font
  };
  for (const Case &c : cases) {
    kvplat::DialogTemplate t;
    t.extended = c.extended;
    t.style = c.style | WS_POPUP;
    t.typeface = c.typeface;
    EXPECT_EQ(kvplat::DialogTypeface(t), c.expected) << c.typeface << " " << c.style << " " << c.extended;
  }
}

TEST(Dialog, KeysTheDialogManagerTakes) {
  // A keyboard's strokes: a press and its release, with Shift, or the halves of a key held down.
  enum How { kPress, kShiftPress, kDown, kRepeat, kUp };
  struct Stroke {
    UINT vk;
    How how = kPress;
  };
  struct Case {
    const char *name;
    int focus;
    std::vector<Stroke> keys;
    std::vector<std::string> commands;
    int focusAfter;
  };
  const std::vector<std::string> kNone = {"CLOSE", "COMMAND 2"};  // the body's end: the dialog is closed
  const Case cases[] = {
      {"Enter in a list presses the default button", 1000, {{VK_RETURN}}, {"COMMAND 1"}, 1000},
      {"Escape in a list cancels", 1000, {{VK_ESCAPE}}, {"COMMAND 2"}, 1000},
      {"Enter on a push button presses that button", 1002, {{VK_RETURN}}, {"COMMAND 1002", "CLOSE", "COMMAND 2"}, 1002},
      {"Enter in a read-only edit presses the default button", 1001, {{VK_RETURN}}, {"COMMAND 1"}, 1001},
      {"Space on a push button clicks it", 1002, {{VK_SPACE}}, {"COMMAND 1002", "CLOSE", "COMMAND 2"}, 1002},
      {"Space held clicks once, as it comes up", 1002, {{VK_SPACE, kDown}, {VK_SPACE, kRepeat}, {VK_SPACE, kRepeat}, {VK_SPACE, kUp}},
       {"COMMAND 1002", "CLOSE", "COMMAND 2"}, 1002},
      {"Tab skips controls without a tab stop", IDOK, {{VK_TAB}}, kNone, 1000},
      {"Tab goes round", IDOK, {{VK_TAB}, {VK_TAB}, {VK_TAB}}, kNone, IDOK},
      {"Shift+Tab goes back, round", IDOK, {{VK_TAB, kShiftPress}, {VK_TAB, kShiftPress}}, kNone, 1000},
      {"an arrow on a button goes on in its group, past a group box", 1002, {{VK_DOWN}}, kNone, IDOK},
      {"an arrow reaches a control without a tab stop", IDOK, {{VK_DOWN}}, kNone, IDCANCEL},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    kvtest::TestFrontEnd fe;
    int focusAfter = 0;
    RunDialog(fe, [&](HWND dialog) {
      SetFocus(GetDlgItem(dialog, c.focus));
      g_log.clear();
      for (const Stroke &k : c.keys) {
        if (k.how == kPress || k.how == kShiftPress) kvplat::input::Key(dialog, k.vk, k.how == kShiftPress);
        if (k.how == kDown || k.how == kRepeat) kvplat::input::KeyDown(dialog, k.vk, false, k.how == kRepeat);
        if (k.how == kUp) kvplat::input::KeyUp(dialog, k.vk);
      }
      focusAfter = GetDlgCtrlID(GetFocus());
    });
    EXPECT_EQ(g_log, c.commands);
    EXPECT_EQ(focusAfter, c.focusAfter);
  }
}

TEST(Dialog, EndedDuringInitialisationIsNeverShown) {
  kvtest::TestFrontEnd fe;
  bool bodyRan = false;
  g_endInInit = TRUE;
  INT_PTR result = RunDialog(fe, [&](HWND) { bodyRan = true; });
  g_endInInit = FALSE;
  EXPECT_EQ(result, 42);
  EXPECT_FALSE(bodyRan);
  EXPECT_FALSE(IsWindow(g_initialised)) << "the dialog is destroyed when DialogBox returns";
}

TEST(Dialog, ATemplateWithAnUnknownClassFails) {
  kvtest::TestFrontEnd fe;
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, kvtest::LoadTestDialog(201), nullptr, LoggingDialogProc, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST(Dialog, MessageBoxCaptions) {
  kvtest::TestFrontEnd fe;
  EXPECT_EQ(MessageBoxA(nullptr, "text", nullptr, MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "SaveDevice:ERROR", "kelvorant", MB_OK), IDOK);
  EXPECT_EQ(fe.messageBoxes, (std::vector<std::string>{"Error|text|0", "kelvorant|SaveDevice:ERROR|0"}));
}

}  // namespace
