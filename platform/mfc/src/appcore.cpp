// The application object, the entry point, and the application-wide helpers.
#include <cstring>

#include "afxwin.h"

namespace {
CWinApp *g_app = nullptr;
}

BOOL CWinThread::InitInstance() { return FALSE; }

int CWinThread::ExitInstance() { return 0; }

int CWinThread::Run() {
  // Dialog applications end in InitInstance; with no modeless window there is nothing to pump.
  return ExitInstance();
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCTSTR lpszAppName) : m_pszAppName(lpszAppName) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitApplication() { return TRUE; }

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT) {
  HWND owner = m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr;
  return ::MessageBoxA(owner, lpszPrompt, m_pszAppName, nType);
}

HICON CWinApp::LoadIcon(UINT nIDResource) const {
  LPCSTR name = MAKEINTRESOURCE(nIDResource);
  return ::LoadIconA(AfxFindResourceHandle(name, RT_GROUP_ICON), name);
}

void CWinApp::OnHelp() {
  // No help file is installed with the application.
}

CWinApp *AFXAPI AfxGetApp() { return g_app; }

HINSTANCE AFXAPI AfxGetInstanceHandle() { return g_app ? g_app->m_hInstance : ::GetModuleHandleA(nullptr); }

HINSTANCE AFXAPI AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

HINSTANCE AFXAPI AfxFindResourceHandle(LPCTSTR, LPCTSTR) {
  // One module holds every resource of the application.
  return AfxGetResourceHandle();
}

int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT nIDHelp) {
  if (CWinApp *app = AfxGetApp()) return app->DoMessageBox(lpszText, nType, nIDHelp);
  return ::MessageBoxA(nullptr, lpszText, nullptr, nType);
}

int AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE, LPTSTR lpCmdLine, int nCmdShow) {
  CWinApp *app = AfxGetApp();
  if (!app) return FALSE;
  app->m_hInstance = hInstance;
  app->m_lpCmdLine = lpCmdLine;
  app->m_nCmdShow = nCmdShow;
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
  return TRUE;
}

int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow) {
  CWinApp *app = AfxGetApp();
  if (!app || !AfxWinInit(hInstance, hPrevInstance, lpCmdLine, nCmdShow) || !app->InitApplication()) return -1;
  if (!app->InitInstance()) {
    if (app->m_pMainWnd) app->m_pMainWnd->DestroyWindow();
    return app->ExitInstance();
  }
  return app->Run();
}

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd) {
  return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nShowCmd);
}
