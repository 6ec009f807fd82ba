// The list control of both lists of the main dialog: a report-view list with two helpers for columns and cells.
#pragma once

#include <afxcmn.h>

class CReportListCtrl : public CListCtrl {
 public:
  // Inserts a column whose width fits its heading (the heading's pixel width plus 15).
  int AddColumn(LPCTSTR heading, int column, int subItem = -1,
                UINT mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM, int format = LVCFMT_LEFT);

  // Column 0 inserts a new row at `row` with the text; any other column sets that cell of an existing row.
  int SetCellText(int row, int column, LPCTSTR text);
};
