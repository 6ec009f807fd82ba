// Command routing through message maps (CCmdTarget), and CWnd: the handle map, subclassing, and the path
// of a message through a message map.
#include <map>

#include "afxwin.h"

namespace {

std::map<HWND, CWnd *> &PermanentMap() {
  static std::map<HWND, CWnd *> map;
  return map;
}

// The message being handled, for CWnd::Default.
struct SentMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
SentMessage g_lastSent{};

}  // namespace

const AFX_MSGMAP *PASCAL CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP *CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY *CCmdTarget::FindMessageEntry(UINT nMsg, UINT nCode, UINT nID) const {
  for (const AFX_MSGMAP *map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY *entry = map->lpEntries; entry->nSig != AfxSig_end; ++entry) {
      if (entry->nMessage == nMsg && entry->nCode == nCode && nID >= entry->nID && nID <= entry->nLastID)
        return entry;
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void *pExtra, void *) {
  UINT nMsg = WM_COMMAND;
  UINT code = static_cast<UINT>(nCode);
  if (HIWORD(code) == WM_NOTIFY) {
    nMsg = WM_NOTIFY;
    code = LOWORD(code);
  }
  const AFX_MSGMAP_ENTRY *entry = FindMessageEntry(nMsg, code, LOWORD(nID));
  if (!entry || (entry->nSig == AfxSigNotify_v && !pExtra)) return FALSE;  // a notification comes with its NMHDR
  if (entry->nSig == AfxSigNotify_v) {
    auto *notify = static_cast<AFX_NOTIFY *>(pExtra);
    reinterpret_cast<void (*)(CCmdTarget *, NMHDR *, LRESULT *)>(entry->pfn)(this, notify->pNMHDR,
                                                                             notify->pResult);
  } else {
    reinterpret_cast<void (*)(CCmdTarget *)>(entry->pfn)(this);
  }
  return TRUE;
}

const AFX_MSGMAP *PASCAL CWnd::GetThisMessageMap() {
  typedef CWnd ThisClass;
  static const AFX_MSGMAP_ENTRY entries[] = {
      ON_WM_NCDESTROY()
      {0, 0, 0, 0, AfxSig_end, nullptr}};
  static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, &entries[0]};
  return &map;
}

const AFX_MSGMAP *CWnd::GetMessageMap() const { return GetThisMessageMap(); }

CWnd::~CWnd() {
  if (m_hWnd && PermanentMap().count(m_hWnd)) CWnd::DestroyWindow();  // no virtual call in a destructor
}

CWnd *PASCAL CWnd::FromHandlePermanent(HWND hWnd) {
  auto it = PermanentMap().find(hWnd);
  return it == PermanentMap().end() ? nullptr : it->second;
}

BOOL CWnd::Attach(HWND hWndNew) {
  if (!hWndNew || m_hWnd) return FALSE;
  PermanentMap()[hWndNew] = this;
  m_hWnd = hWndNew;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND hWnd = m_hWnd;
  if (hWnd) PermanentMap().erase(hWnd);
  m_hWnd = nullptr;
  return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!::IsWindow(hWnd) || !Attach(hWnd)) return FALSE;
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
  return TRUE;
}

void CWnd::DoDataExchange(CDataExchange *) {}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}
void CWnd::SetWindowText(LPCTSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }
void CWnd::GetDlgItem(int nID, HWND *phWnd) const { *phWnd = ::GetDlgItem(m_hWnd, nID); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
void CWnd::GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult) {
  if (message == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) return FALSE;
    *pResult = 1;
    return TRUE;
  }
  if (message == WM_NOTIFY) {
    LRESULT result = 0;
    if (!OnNotify(wParam, lParam, &result)) return FALSE;
    *pResult = result;
    return TRUE;
  }
  const AFX_MSGMAP_ENTRY *entry = FindMessageEntry(message, 0, 0);
  if (!entry) return FALSE;
  switch (entry->nSig) {
    case AfxSig_vv:
      reinterpret_cast<void (*)(CCmdTarget *)>(entry->pfn)(this);
      *pResult = 0;
      return TRUE;
    case AfxSig_hv:
      *pResult = reinterpret_cast<LRESULT>(reinterpret_cast<HCURSOR (*)(CCmdTarget *)>(entry->pfn)(this));
      return TRUE;
  }
  return FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  UINT nID = LOWORD(wParam);
  int nCode = HIWORD(wParam);
  HWND hWndCtrl = reinterpret_cast<HWND>(lParam);
  if (!hWndCtrl) nCode = CN_COMMAND;  // a menu or an accelerator
  else if (nID == 0) return FALSE;    // control notifications need an id
  return OnCmdMsg(nID, nCode, nullptr, nullptr);
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT *pResult) {
  NMHDR *header = reinterpret_cast<NMHDR *>(lParam);
  AFX_NOTIFY notify{pResult, header};
  return OnCmdMsg(static_cast<UINT>(header->idFrom), MAKELONG(header->code, WM_NOTIFY), &notify, nullptr);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper) return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  return DefWindowProc(g_lastSent.message, g_lastSent.wParam, g_lastSent.lParam);
}

void CWnd::OnPaint() { Default(); }

void CWnd::OnNcDestroy() {
  // The window is gone: the application forgets it as its main window, and the object lets go of it.
  CWinApp *app = AfxGetApp();
  if (app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
  Default();
  WNDPROC super = m_pfnSuper;
  m_pfnSuper = nullptr;
  if (super && ::IsWindow(m_hWnd)) ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
  Detach();
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  CWnd *pWnd = CWnd::FromHandlePermanent(hWnd);
  if (!pWnd) return ::DefWindowProcA(hWnd, nMsg, wParam, lParam);
  SentMessage saved = g_lastSent;
  g_lastSent = SentMessage{nMsg, wParam, lParam};
  LRESULT result = pWnd->WindowProc(nMsg, wParam, lParam);
  g_lastSent = saved;
  return result;
}
