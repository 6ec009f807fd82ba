/* comctl32: the common controls' list view (report view). Structures hold the SDK's fields that the program
   and MFC fill in or read. */
#pragma once
#include "windows.h"

#ifdef __cplusplus
extern "C" {
#endif

#define WC_LISTVIEWA "SysListView32"


void WINAPI InitCommonControls(void);

/* Common notifications */
#define NM_FIRST (0U - 0U)
#define NM_CLICK (NM_FIRST - 2)

/* List view styles */
#define LVS_REPORT 0x0001
#define LVS_SINGLESEL 0x0004
#define LVS_SHOWSELALWAYS 0x0008
#define LVS_ALIGNLEFT 0x0800
#define LVS_NOSORTHEADER 0x8000

#define LVS_EX_FULLROWSELECT 0x00000020

/* List view messages */
#define LVM_FIRST 0x1000
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_GETITEMA (LVM_FIRST + 5)
#define LVM_SETITEMA (LVM_FIRST + 6)
#define LVM_INSERTITEMA (LVM_FIRST + 7)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETSTRINGWIDTHA (LVM_FIRST + 17)
#define LVM_INSERTCOLUMNA (LVM_FIRST + 27)
#define LVM_SETCOLUMNWIDTH (LVM_FIRST + 30)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#define LVM_GETSELECTIONMARK (LVM_FIRST + 66)
#define LVM_SETSELECTIONMARK (LVM_FIRST + 67)

#define LVM_SETITEM LVM_SETITEMA
#define LVM_INSERTITEM LVM_INSERTITEMA
#define LVM_GETSTRINGWIDTH LVM_GETSTRINGWIDTHA
#define LVM_INSERTCOLUMN LVM_INSERTCOLUMNA

/* List view notifications */
#define LVN_FIRST (0U - 100U)
#define LVN_ITEMCHANGING (LVN_FIRST - 0)
#define LVN_ITEMCHANGED (LVN_FIRST - 1)

/* Item and column descriptions */
#define LVIF_TEXT 0x00000001
#define LVIF_PARAM 0x00000004
#define LVIF_STATE 0x00000008

#define LVIS_FOCUSED 0x0001
#define LVIS_SELECTED 0x0002

#define LVCF_FMT 0x0001
#define LVCF_WIDTH 0x0002
#define LVCF_TEXT 0x0004
#define LVCF_SUBITEM 0x0008

#define LVCFMT_LEFT 0x0000

#define LVSCW_AUTOSIZE_USEHEADER (-2)

typedef struct tagLVITEMA {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPSTR pszText;
  int iImage;
  LPARAM lParam;
} LVITEMA;
typedef LVITEMA LVITEM;

typedef struct tagLVCOLUMNA {
  UINT mask;
  int fmt;
  int cx;
  LPSTR pszText;
  int iSubItem;
} LVCOLUMNA;
typedef LVCOLUMNA LVCOLUMN;

typedef struct tagNMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
} NMLISTVIEW;

typedef struct tagNMITEMACTIVATE {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
} NMITEMACTIVATE;


#ifdef __cplusplus
}
#endif
