// The MFC core subset: application, windows, dialogs, device contexts, data exchange, message maps.
// Written only against the Win32 API, so that it could sit on Windows as well as on this platform.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "afxres.h"

// The SDK's windef.h defines PASCAL (as __stdcall, which x64 ignores); the platform's headers may not.
#ifndef PASCAL
#define PASCAL
#endif
#define afx_msg
#define AFXAPI

#define CN_COMMAND 0

#include "afxmsg_.h"

class CDataExchange;
class CWinApp;

class CObject {
 public:
  virtual ~CObject() = default;

 protected:
  CObject() = default;

 private:
  CObject(const CObject &) = delete;
  CObject &operator=(const CObject &) = delete;
};

// Something that message maps route commands to.
class CCmdTarget : public CObject {
 public:
  // Dispatches a command (nCode = notification code; for WM_NOTIFY, MAKELONG(code, WM_NOTIFY)) through the
  // message maps of this class and its bases. pExtra is the AFX_NOTIFY of a WM_NOTIFY.
  virtual BOOL OnCmdMsg(UINT nID, int nCode, void *pExtra, void *pHandlerInfo);

 protected:
  static const AFX_MSGMAP *PASCAL GetThisMessageMap();
  virtual const AFX_MSGMAP *GetMessageMap() const;

  // The entry of this class's maps (or its bases') for a message, or null.
  const AFX_MSGMAP_ENTRY *FindMessageEntry(UINT nMsg, UINT nCode, UINT nID) const;
};

struct AFX_NOTIFY {
  LRESULT *pResult;
  NMHDR *pNMHDR;
};

class CRect : public tagRECT {
 public:
  CRect() { left = top = right = bottom = 0; }
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

class CWnd : public CCmdTarget {
 public:
  HWND m_hWnd = nullptr;

  virtual ~CWnd();

  HWND GetSafeHwnd() const { return m_hWnd; }

  // The window object that owns a handle (attached or subclassed), or null.
  static CWnd *PASCAL FromHandlePermanent(HWND hWnd);
  BOOL Attach(HWND hWndNew);
  HWND Detach();
  // Routes the window's messages through this object's message map (DDX_Control does this).
  BOOL SubclassWindow(HWND hWnd);

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  void SetWindowText(LPCTSTR lpszString);
  void GetDlgItem(int nID, HWND *phWnd) const;
  BOOL IsIconic() const;
  void GetClientRect(LPRECT lpRect) const;
  virtual BOOL DestroyWindow();

  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  // Message handling as MFC does it: the map first, then the window's original procedure.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT *pResult);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The default processing of the message being handled.
  LRESULT Default();

 protected:
  static const AFX_MSGMAP *PASCAL GetThisMessageMap();
  virtual const AFX_MSGMAP *GetMessageMap() const;
  virtual void DoDataExchange(CDataExchange *pDX);

  afx_msg void OnPaint();
  afx_msg void OnNcDestroy();

  WNDPROC m_pfnSuper = nullptr;  // the procedure the window had before it was subclassed

  friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate, CWnd *pParentWnd = nullptr);
  virtual ~CDialog();

  // Creates the dialog from its template, runs it modally and returns the result given to EndDialog, or -1
  // when the dialog could not be created.
  virtual INT_PTR DoModal();
  void EndDialog(int nResult);

  virtual BOOL OnInitDialog();

 protected:
  static const AFX_MSGMAP *PASCAL GetThisMessageMap();
  virtual const AFX_MSGMAP *GetMessageMap() const;

  virtual void OnOK();
  virtual void OnCancel();

  LPCTSTR m_lpszTemplateName;
  CWnd *m_pParentWnd;

  friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
};

class CDataExchange {
 public:
  BOOL m_bSaveAndValidate;
  CWnd *m_pDlgWnd;
  CDataExchange(CWnd *pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
};

void AFXAPI DDX_Control(CDataExchange *pDX, int nIDC, CWnd &rControl);

class CEdit : public CWnd {};

class CDC : public CObject {
 public:
  HDC m_hDC = nullptr;
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
};

class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd *pWnd) : m_hWnd(pWnd->GetSafeHwnd()) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }
  virtual ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
  PAINTSTRUCT m_ps{};

 protected:
  HWND m_hWnd;
};

// The application (MFC's CWinThread folded in: a dialog application has no thread of its own to run).
class CWinApp : public CCmdTarget {
 public:
  explicit CWinApp(LPCTSTR lpszAppName = nullptr);
  virtual ~CWinApp();

  CWnd *m_pMainWnd = nullptr;
  LPCTSTR m_pszAppName;  // the caption of the application's message boxes
  HINSTANCE m_hInstance = nullptr;

  virtual BOOL InitInstance();
  virtual int DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT nIDPrompt);

  HICON LoadIcon(UINT nIDResource) const;
  afx_msg void OnHelp();

 protected:
  static const AFX_MSGMAP *PASCAL GetThisMessageMap();
  virtual const AFX_MSGMAP *GetMessageMap() const;

 private:
  char m_szModuleAppName[MAX_PATH] = {};
  friend int AFXAPI AfxWinMain(HINSTANCE, HINSTANCE, LPTSTR, int);
};

CWinApp *AFXAPI AfxGetApp();
// One module holds every resource of the application.
HINSTANCE AFXAPI AfxGetInstanceHandle();
int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);
