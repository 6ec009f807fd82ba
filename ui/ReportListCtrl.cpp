#include "ReportListCtrl.h"

#include <string.h>

int CReportListCtrl::AddColumn(LPCTSTR heading, int column, int subItem, UINT mask, int format) {
  LVCOLUMN lvc;
  memset(&lvc, 0, sizeof(lvc));
  lvc.mask = mask;
  lvc.fmt = format;
  lvc.pszText = (LPTSTR)heading;
  lvc.cx = (int)::SendMessage(m_hWnd, LVM_GETSTRINGWIDTH, 0, (LPARAM)heading) + 15;
  if (mask & LVCF_SUBITEM) lvc.iSubItem = (subItem != -1) ? subItem : column;
  return (int)::SendMessage(m_hWnd, LVM_INSERTCOLUMN, column, (LPARAM)&lvc);
}

int CReportListCtrl::SetCellText(int row, int column, LPCTSTR text) {
  LVITEM lvi;
  memset(&lvi, 0, sizeof(lvi));
  lvi.mask = LVIF_TEXT;
  lvi.iItem = row;
  lvi.iSubItem = column;
  lvi.pszText = (LPTSTR)text;
  if (column == 0) return (int)::SendMessage(m_hWnd, LVM_INSERTITEM, 0, (LPARAM)&lvi);
  return (int)::SendMessage(m_hWnd, LVM_SETITEM, 0, (LPARAM)&lvi);
}
