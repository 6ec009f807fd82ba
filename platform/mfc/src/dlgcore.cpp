// CDialog: modal dialogs from a template resource, and dialog data exchange.
#include <cstdio>
#include <cstdlib>

#include "afxwin.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd *pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCE(nIDTemplate)), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
  if (m_hWnd) DestroyWindow();
}

INT_PTR CDialog::DoModal() {
  HINSTANCE hInst = AfxGetInstanceHandle();
  HRSRC hResource = ::FindResourceA(hInst, m_lpszTemplateName, RT_DIALOG);
  HGLOBAL hTemplate = hResource ? ::LoadResource(hInst, hResource) : nullptr;
  auto *lpTemplate = hTemplate ? static_cast<LPCDLGTEMPLATE>(::LockResource(hTemplate)) : nullptr;
  if (!lpTemplate) return -1;
  HWND hWndParent = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
  return ::DialogBoxIndirectParamA(hInst, lpTemplate, hWndParent, AfxDlgProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  // The dialog object comes with WM_INITDIALOG; from here on its message map sees every message first.
  CDialog *pDlg = reinterpret_cast<CDialog *>(lParam);
  if (!pDlg || !pDlg->SubclassWindow(hWnd)) return TRUE;
  return pDlg->OnInitDialog();
}

void AFXAPI DDX_Control(CDataExchange *pDX, int nIDC, CWnd &rControl) {
  if (rControl.m_hWnd) return;
  HWND hWndCtrl = nullptr;
  pDX->m_pDlgWnd->GetDlgItem(nIDC, &hWndCtrl);
  if (!hWndCtrl || !rControl.SubclassWindow(hWndCtrl)) {
    char text[64];
    std::snprintf(text, sizeof text, "DDX_Control: the dialog has no control %d\n", nIDC);
    ::OutputDebugStringA(text);  // as MFC's TRACE says it
    std::abort();
  }
}
