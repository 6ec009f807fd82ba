// CListCtrl and CEdit: thin wrappers that send their messages to the control.
#include "afxcmn.h"

int CListCtrl::GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }

BOOL CListCtrl::SetItem(int nItem, int nSubItem, UINT nMask, LPCTSTR lpszItem, int nImage, UINT nState,
                        UINT nStateMask, LPARAM lParam) {
  LVITEMA item{};
  item.mask = nMask;
  item.iItem = nItem;
  item.iSubItem = nSubItem;
  item.state = nState;
  item.stateMask = nStateMask;
  item.pszText = const_cast<LPSTR>(lpszItem);
  item.iImage = nImage;
  item.lParam = lParam;
  return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
  LVITEMA item{};
  item.stateMask = nMask;
  item.state = nState;
  return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, nItem, reinterpret_cast<LPARAM>(&item)));
}

UINT CListCtrl::GetItemState(int nItem, UINT nMask) const {
  return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, nItem, nMask));
}

DWORD_PTR CListCtrl::GetItemData(int nItem) const {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = nItem;
  SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return static_cast<DWORD_PTR>(item.lParam);
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCTSTR lpszText) {
  return SetItem(nItem, nSubItem, LVIF_TEXT, lpszText, 0, 0, 0, 0);
}

int CListCtrl::InsertItem(const LVITEM *pItem) {
  return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(pItem)));
}

int CListCtrl::InsertColumn(int nCol, const LVCOLUMN *pColumn) {
  return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, nCol, reinterpret_cast<LPARAM>(pColumn)));
}

BOOL CListCtrl::SetColumnWidth(int nCol, int cx) {
  return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, nCol, MAKELPARAM(cx, 0)));
}

int CListCtrl::GetStringWidth(LPCTSTR lpsz) const {
  return static_cast<int>(SendMessage(LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(lpsz)));
}

BOOL CListCtrl::DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }

int CListCtrl::GetSelectionMark() const { return static_cast<int>(SendMessage(LVM_GETSELECTIONMARK)); }

int CListCtrl::SetSelectionMark(int iIndex) {
  return static_cast<int>(SendMessage(LVM_SETSELECTIONMARK, 0, iIndex));
}

DWORD CListCtrl::GetExtendedStyle() const {
  return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
}

DWORD CListCtrl::SetExtendedStyle(DWORD dwNewStyle) {
  return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, dwNewStyle));
}

void CEdit::SetSel(int nStartChar, int nEndChar, BOOL) { SendMessage(EM_SETSEL, nStartChar, nEndChar); }

void CEdit::SetReadOnly(BOOL bReadOnly) { SendMessage(EM_SETREADONLY, bReadOnly, 0); }
