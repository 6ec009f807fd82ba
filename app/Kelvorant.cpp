// Start-up and shut-down.
#include "Kelvorant.h"

#include <string.h>

#include "driver/DriverControl.h"
#include "ui/KelvorantDlg.h"

BEGIN_MESSAGE_MAP(CKelvorantApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CKelvorantApp::CKelvorantApp() {}

CKelvorantApp::~CKelvorantApp() {}

CKelvorantApp theApp;

BOOL CKelvorantApp::InitInstance() {
  InitCommonControls();

  CWinApp::InitInstance();

  // Whatever an earlier run left installed goes first.
  UninstallDriver();

  char driverPath[MAX_PATH];
  memset(driverPath, 0, sizeof(driverPath));
  if (!OpenDriverDevice(driverPath)) {
    MessageBoxA(NULL, "Failed to install/load kelvorant.sys!", NULL, MB_OK);
    UninstallDriver();
    return FALSE;
  }

  CKelvorantDlg dlg;
  // cppcheck-suppress danglingLifetime ; the dialog outlives its window, whose WM_NCDESTROY clears m_pMainWnd
  m_pMainWnd = &dlg;
  INT_PTR nResponse = dlg.DoModal();
  if (nResponse == IDOK || nResponse == IDCANCEL) {
    // "Exit" and "Uninstall driver" alike take the driver down.
    UninstallDriver();
  }

  // No message loop: the application ends here.
  return FALSE;
}
