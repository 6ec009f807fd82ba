// MFC over the window manager: a dialog's message map receives commands, notifications and window
// messages; what it does not handle reaches the dialog manager; controls bound with DDX_Control.
#include <gtest/gtest.h>

#include <afxcmn.h>

#include "kvplat/window.h"
#include "message_log.h"
#include "test_frontend.h"

namespace {

CWinApp g_app("mfc-test");

class TestDlg : public CDialog {
 public:
  TestDlg() : CDialog(210) {}  // in test_dialogs.rc
  CListCtrl m_list;
  CEdit m_edit;
  std::vector<std::string> log;

 protected:
  void DoDataExchange(CDataExchange *pDX) override {
    DDX_Control(pDX, 1000, m_list);
    DDX_Control(pDX, 1001, m_edit);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    log.push_back(m_list.m_hWnd == ::GetDlgItem(m_hWnd, 1000) ? "init, list bound" : "init, list unbound");
    return TRUE;
  }
  afx_msg void OnOther() { log.push_back("other"); }
  afx_msg void OnClickList(NMHDR *header, LRESULT *result) {
    log.push_back("click " + std::to_string(reinterpret_cast<NMITEMACTIVATE *>(header)->iItem));
    *result = 7;
  }
  afx_msg void OnPaint() {
    log.push_back("paint");
    CDialog::OnPaint();
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDlg, CDialog)
ON_WM_PAINT()
ON_BN_CLICKED(1002, &TestDlg::OnOther)
ON_NOTIFY(NM_CLICK, 1000, &TestDlg::OnClickList)
END_MESSAGE_MAP()

INT_PTR RunDialog(TestDlg &dlg, std::function<void(HWND)> body) {
  static kvtest::TestFrontEnd fe;
  InitCommonControls();
  kvtest::LoadTestDialog(210);
  fe.body = std::move(body);
  g_app.m_pMainWnd = &dlg;
  return dlg.DoModal();
}

TEST(MessageMap, HowADialogEnds) {
  struct Case {
    const char *how;
    std::function<void(HWND)> act;
    INT_PTR result;
  };
  const Case cases[] = {
      {"Enter presses OK", [](HWND d) { kvplat::input::Key(d, VK_RETURN); }, IDOK},
      {"a click on Cancel", [](HWND d) { kvplat::input::Click(GetDlgItem(d, IDCANCEL)); }, IDCANCEL},
      {"Escape", [](HWND d) { kvplat::input::Key(d, VK_ESCAPE); }, IDCANCEL},
      {"the close box", [](HWND d) { kvplat::input::CloseBox(d); }, IDCANCEL},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.how);
    TestDlg dlg;
    EXPECT_EQ(RunDialog(dlg, c.act), c.result);
    EXPECT_EQ(dlg.m_hWnd, nullptr) << "the object lets go of its window";
    EXPECT_EQ(dlg.m_list.m_hWnd, nullptr);
  }
}

TEST(MessageMap, CommandsNotificationsAndWindowMessagesReachTheirHandlers) {
  TestDlg dlg;
  LRESULT notifyResult = 0;
  CWnd *listObject = nullptr;
  RunDialog(dlg, [&](HWND d) {
    HWND list = GetDlgItem(d, 1000);
    listObject = CWnd::FromHandlePermanent(list);
    kvplat::input::Click(GetDlgItem(d, 1002));
    NMITEMACTIVATE click{};
    click.hdr = {list, 1000, static_cast<UINT>(NM_CLICK)};
    click.iItem = 3;
    notifyResult = SendMessageA(d, WM_NOTIFY, 1000, reinterpret_cast<LPARAM>(&click));
    SendMessageA(d, WM_PAINT, 0, 0);
    SetWindowTextA(d, "renamed");  // no handler: the default processing stores it
    dlg.log.push_back(kvplat::FindWindowState(d)->text);
  });
  EXPECT_EQ(listObject, &dlg.m_list);
  EXPECT_EQ(notifyResult, 7);
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"init, list bound", "other", "click 3", "paint", "renamed"}));
}

}  // namespace
