#include "message_log.h"

#include <cstdio>
#include <map>

#include "kvplat/window.h"

namespace kvtest {

namespace {

std::map<HWND, MessageLog *> g_logs;

const char *CodeName(UINT code) {
  switch (code) {
    case LVN_ITEMCHANGING: return "ITEMCHANGING";
    case LVN_ITEMCHANGED: return "ITEMCHANGED";
    case LVN_INSERTITEM: return "INSERTITEM";
    case LVN_DELETEITEM: return "DELETEITEM";
    case LVN_DELETEALLITEMS: return "DELETEALLITEMS";
    case LVN_KEYDOWN: return "KEYDOWN";
    case NM_CLICK: return "CLICK";
    case NM_SETFOCUS: return "SETFOCUS";
    case NM_KILLFOCUS: return "KILLFOCUS";
  }
  return "?";
}

std::string Describe(const NMHDR *header) {
  char text[160];
  switch (header->code) {
    case LVN_ITEMCHANGING:
    case LVN_ITEMCHANGED: {
      auto *nm = reinterpret_cast<const NMLISTVIEW *>(header);
      std::snprintf(text, sizeof text, "%s %d old=%u new=%u changed=%u data=%ld", CodeName(header->code), nm->iItem,
                    nm->uOldState, nm->uNewState, nm->uChanged, static_cast<long>(nm->lParam));
      std::string entry = text;
      // What a handler of the change sees as the selection mark.
      if (header->code == LVN_ITEMCHANGED)
        entry += " mark=" + std::to_string(SendMessageA(header->hwndFrom, LVM_GETSELECTIONMARK, 0, 0));
      return entry;
    }
    case LVN_INSERTITEM:
    case LVN_DELETEITEM:
    case LVN_DELETEALLITEMS: {
      auto *nm = reinterpret_cast<const NMLISTVIEW *>(header);
      std::snprintf(text, sizeof text, "%s %d", CodeName(header->code), nm->iItem);
      return text;
    }
    case NM_CLICK: {
      auto *nm = reinterpret_cast<const NMITEMACTIVATE *>(header);
      std::snprintf(text, sizeof text, "CLICK %d sub=%d data=%ld", nm->iItem, nm->iSubItem,
                    static_cast<long>(nm->lParam));
      return text;
    }
    case LVN_KEYDOWN: {
      auto *nm = reinterpret_cast<const NMLVKEYDOWN *>(header);
      std::snprintf(text, sizeof text, "KEYDOWN vk=%u", nm->wVKey);
      return text;
    }
  }
  return CodeName(header->code);
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MessageLog *log = g_logs[hwnd];
  if (msg == WM_NOTIFY && log) {
    auto *header = reinterpret_cast<NMHDR *>(lParam);
    log->entries.push_back(Describe(header));
    return header->code == LVN_DELETEALLITEMS ? log->deleteAllResult : 0;
  }
  if (msg == WM_COMMAND && log) {
    log->entries.push_back("COMMAND " + std::to_string(LOWORD(wParam)) + " code=" + std::to_string(HIWORD(wParam)));
    return 0;
  }
  if (msg == WM_NCDESTROY) g_logs.erase(hwnd);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

HWND CreateLoggingParent(MessageLog *log) {
  kvplat::RegisterWindowClass({"KvTestParent", ParentProc, nullptr});
  HWND parent = kvplat::CreateWindowState("KvTestParent", "parent", WS_POPUP | WS_VISIBLE, 0, RECT{0, 0, 400, 300},
                                          nullptr, 0);
  g_logs[parent] = log;
  return parent;
}

HWND CreateListView(HWND parent, DWORD style) {
  InitCommonControls();
  return kvplat::CreateWindowState(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | style, 0, RECT{10, 10, 210, 110},
                                   parent, 1000);
}

}  // namespace kvtest
