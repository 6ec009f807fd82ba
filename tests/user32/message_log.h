// What the tests of the window manager and of MFC share: a parent window that records the notifications it
// receives as short texts that tests compare with tables, a list view under it, and the tests' dialogs. A
// message that the platform does not implement fails the test that sent it.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace kvtest {

struct MessageLog {
  std::vector<std::string> entries;
  void Clear() { entries.clear(); }
};

// A top-level window whose procedure logs WM_NOTIFY (and WM_COMMAND) into `log`.
HWND CreateLoggingParent(MessageLog *log);

// A report-view list view child of `parent`, 200 x 100 pixels with a border, id 1000.
HWND CreateListView(HWND parent, DWORD style = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER);

// Registers the tests' resource section (test_dialogs.rc) as the module's and returns its dialog template `id`.
LPCDLGTEMPLATEA LoadTestDialog(int id);

}  // namespace kvtest
