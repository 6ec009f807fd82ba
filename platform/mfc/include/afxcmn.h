// MFC's wrappers of the common controls: the list control.
#pragma once
#include "afxwin.h"

class CListCtrl : public CWnd {
 public:
  CListCtrl() = default;

  int GetItemCount() const;
  BOOL SetItem(int nItem, int nSubItem, UINT nMask, LPCTSTR lpszItem, int nImage, UINT nState, UINT nStateMask,
               LPARAM lParam);
  BOOL SetItemState(int nItem, UINT nState, UINT nMask);
  UINT GetItemState(int nItem, UINT nMask) const;
  DWORD_PTR GetItemData(int nItem) const;
  BOOL SetItemText(int nItem, int nSubItem, LPCTSTR lpszText);
  int InsertItem(const LVITEM *pItem);
  int InsertColumn(int nCol, const LVCOLUMN *pColumn);
  BOOL SetColumnWidth(int nCol, int cx);
  int GetStringWidth(LPCTSTR lpsz) const;
  BOOL DeleteAllItems();
  int GetSelectionMark() const;
  int SetSelectionMark(int iIndex);
  DWORD GetExtendedStyle() const;
  DWORD SetExtendedStyle(DWORD dwNewStyle);
};
