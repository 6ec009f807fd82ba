// MFC's wrappers of the common controls: the list control.
#pragma once
#include "afxwin.h"

class CListCtrl : public CWnd {
 public:
  BOOL SetItem(int nItem, int nSubItem, UINT nMask, LPCTSTR lpszItem, int nImage, UINT nState, UINT nStateMask,
               LPARAM lParam);
  BOOL SetItemState(int nItem, UINT nState, UINT nMask);
  DWORD_PTR GetItemData(int nItem) const;
};
