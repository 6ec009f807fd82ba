#include "testable_dialog.h"

#include "kvplat/listview.h"
#include "kvplat/window.h"

namespace {
// The dialog's constructor asks the application for its icon.
CWinApp g_testApp("kelvorant-test");
}  // namespace

TestableDlg::TestableDlg() {
  InitCommonControls();
  kvplat::RegisterWindowClass({"KvTestDialogParent", ::DefWindowProcA, nullptr});
  parent_ = kvplat::CreateWindowState("KvTestDialogParent", "", WS_POPUP, 0, RECT{0, 0, 642, 520}, nullptr, 0);
  // The lists' rectangles of the dialog template at the headless base units.
  HWND devices = kvplat::CreateWindowState(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT |
                                               LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                           0, RECT{10, 11, 631, 219}, parent_, IDC_DEVICE_LIST);
  HWND registers = kvplat::CreateWindowState(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT |
                                                 LVS_SINGLESEL,
                                             0, RECT{10, 221, 383, 509}, parent_, IDC_REGISTER_LIST);
  m_deviceList.SubclassWindow(devices);
  m_registerList.SubclassWindow(registers);
  m_registerList.AddColumn("Register", 0);
  m_registerList.AddColumn("Value", 1);
}

TestableDlg::~TestableDlg() { ::DestroyWindow(parent_); }

std::vector<std::pair<std::string, std::string>> TestableDlg::RegisterRows() const {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const auto &item : kvplat::StateOf<kvplat::ListViewState>(m_registerList.m_hWnd)->items)
    rows.emplace_back(item.Text(0), item.Text(1));
  return rows;
}

std::vector<int> TestableDlg::RegisterColumnWidths() const {
  std::vector<int> widths;
  for (const auto &column : kvplat::StateOf<kvplat::ListViewState>(m_registerList.m_hWnd)->columns)
    widths.push_back(column.width);
  return widths;
}
