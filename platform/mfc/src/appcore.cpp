// The application object, the entry point, and the application-wide functions.
#include <cstring>

#include "afxwin.h"

namespace {
CWinApp *g_app = nullptr;
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCTSTR lpszAppName) : m_pszAppName(lpszAppName) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT) {
  HWND owner = m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr;
  return ::MessageBoxA(owner, lpszPrompt, m_pszAppName, nType);
}

HICON CWinApp::LoadIcon(UINT nIDResource) const {
  LPCSTR name = MAKEINTRESOURCE(nIDResource);
  return ::LoadIconA(AfxGetInstanceHandle(), name);
}

void CWinApp::OnHelp() {}  // no help file is installed with the application

CWinApp *AFXAPI AfxGetApp() { return g_app; }

HINSTANCE AFXAPI AfxGetInstanceHandle() { return g_app ? g_app->m_hInstance : ::GetModuleHandleA(nullptr); }

int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT nIDHelp) {
  if (CWinApp *app = AfxGetApp()) return app->DoMessageBox(lpszText, nType, nIDHelp);
  return ::MessageBoxA(nullptr, lpszText, nullptr, nType);
}

// Dialog applications end in InitInstance: with no modeless window there is no message loop to run.
int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPTSTR, int) {
  CWinApp *app = AfxGetApp();
  if (!app) return -1;
  app->m_hInstance = hInstance;
  if (!app->m_pszAppName) {
    // Without a name of its own the application is called after its executable, without the extension.
    char path[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) std::strcpy(path, "application");
    const char *name = path;
    for (const char *p = path; *p; ++p)
      if (*p == '\\' || *p == '/') name = p + 1;
    size_t length = std::strlen(name);
    std::memcpy(app->m_szModuleAppName, name, length + 1);  // name lies inside path: it fits
    if (char *dot = std::strrchr(app->m_szModuleAppName, '.')) *dot = '\0';
    app->m_pszAppName = app->m_szModuleAppName;
  }
  app->InitInstance();
  if (app->m_pMainWnd) app->m_pMainWnd->DestroyWindow();
  return 0;  // ExitInstance's answer
}

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd) {
  return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nShowCmd);
}
