// Command routing through message maps.
#include "afxwin.h"

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
  if (!entry) return FALSE;
  if (entry->nSig == AfxSigNotify_v) {
    auto *notify = static_cast<AFX_NOTIFY *>(pExtra);
    reinterpret_cast<void (*)(CCmdTarget *, NMHDR *, LRESULT *)>(entry->pfn)(this, notify->pNMHDR,
                                                                             notify->pResult);
  } else {
    reinterpret_cast<void (*)(CCmdTarget *)>(entry->pfn)(this);
  }
  return TRUE;
}
