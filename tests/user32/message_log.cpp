#include "message_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "diag_lines.h"
#include "kvplat/resources.h"
#include "kvplat/window.h"

extern const kvplat::EmbeddedFile kv_test_dialogs[];

namespace kvtest {

namespace {

std::map<HWND, MessageLog *> g_logs;

std::string Describe(const NMHDR *header) {
  char text[160];
  if (header->code == LVN_ITEMCHANGED) {
    auto *nm = reinterpret_cast<const NMLISTVIEW *>(header);
    // With what a handler of the change sees as the selection mark.
    std::snprintf(text, sizeof text, "ITEMCHANGED %d old=%u new=%u changed=%u data=%ld mark=%ld", nm->iItem,
                  nm->uOldState, nm->uNewState, nm->uChanged, static_cast<long>(nm->lParam),
                  static_cast<long>(SendMessageA(header->hwndFrom, LVM_GETSELECTIONMARK, 0, 0)));
  } else if (header->code == NM_CLICK) {
    auto *nm = reinterpret_cast<const NMITEMACTIVATE *>(header);
    std::snprintf(text, sizeof text, "CLICK %d sub=%d data=%ld", nm->iItem, nm->iSubItem,
                  static_cast<long>(nm->lParam));
  } else {
    std::snprintf(text, sizeof text, "code %d", static_cast<int>(header->code));
  }
  return text;
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MessageLog *log = g_logs[hwnd];
  if (msg == WM_NOTIFY && log) {
    log->entries.push_back(Describe(reinterpret_cast<NMHDR *>(lParam)));
    return 0;
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

LPCDLGTEMPLATEA LoadTestDialog(int id) {
  kvplat::RegisterModuleResources(kv_test_dialogs);
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCE(id), RT_DIALOG);
  return res ? static_cast<LPCDLGTEMPLATEA>(LockResource(LoadResource(nullptr, res))) : nullptr;
}

}  // namespace kvtest

namespace {

class FailOnUnimplemented : public ::testing::Environment {
 public:
  void SetUp() override {
    kvtest::SetDiagSink([](const std::string &line) {
      if (line.starts_with("kelvorant: not implemented: ")) ADD_FAILURE() << line;
      std::fputs(line.c_str(), stderr);
    });
  }
};
const auto *const g_environment = ::testing::AddGlobalTestEnvironment(new FailOnUnimplemented);

}  // namespace
