// Records the notifications a parent window receives, as short texts that tests compare with tables.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace kvtest {

struct MessageLog {
  std::vector<std::string> entries;
  LRESULT deleteAllResult = 0;  // what the parent answers to LVN_DELETEALLITEMS
  void Clear() { entries.clear(); }
};

// A top-level window whose procedure logs WM_NOTIFY (and WM_COMMAND) into `log`.
HWND CreateLoggingParent(MessageLog *log);

// A report-view list view child of `parent`, 200 x 100 pixels with a border, id 1000.
HWND CreateListView(HWND parent, DWORD style = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER);

}  // namespace kvtest
