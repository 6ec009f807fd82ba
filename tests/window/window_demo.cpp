// A stand-in for the program's main dialog, for working on the window front end on its own: the same
// controls at the same template rectangles, lists filled like a bus scan, buttons that change edits and show
// message boxes. It runs the front end's modal loop and exits 0 when the dialog ends with IDOK ("Exit"),
// 10 + the result otherwise, 2 without a display.
//
//   window_demo [--rows N] [--message-box]
//     --rows N        device list rows (default 40)
//     --message-box   only a message box, with no dialog, as the program shows when it cannot start
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kvplat/dialog.h"
#include "kvplat/frontend.h"
#include "kvplat/window.h"
#include "window_frontend.h"

namespace {

struct ControlSpec {
  int id;
  const char *className;
  const char *text;
  DWORD style;
  int x, y, cx, cy;  // dialog units
};

constexpr DWORD kList = LVS_REPORT | LVS_SINGLESEL | LVS_ALIGNLEFT | WS_BORDER | WS_TABSTOP;
constexpr DWORD kEdit = ES_READONLY | ES_AUTOHSCROLL | WS_BORDER;

const ControlSpec kControls[] = {
    {IDOK, "Button", "Exit", BS_DEFPUSHBUTTON | WS_TABSTOP, 371, 137, 50, 21},
    {IDCANCEL, "Button", "Uninstall driver", 0, 317, 138, 50, 21},
    {1000, "SysListView32", "", kList | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, 7, 7, 414, 128},
    {1001, "Button", "Rescan bus", WS_TABSTOP, 261, 137, 50, 26},
    {1002, "SysListView32", "", kList | LVS_AUTOARRANGE, 7, 136, 249, 177},
    {1008, "Button", "1", WS_TABSTOP, 363, 184, 57, 24},
    {1009, "Button", "2", WS_TABSTOP, 363, 210, 57, 24},
    {1010, "Button", "3", WS_TABSTOP, 363, 236, 57, 24},
    {1011, "Button", "4", WS_TABSTOP, 363, 263, 57, 24},
    {1012, "Button", "5", WS_TABSTOP, 363, 289, 57, 24},
    {1013, "Button", "1", WS_TABSTOP, 266, 184, 34, 24},
    {1014, "Button", "2", WS_TABSTOP, 266, 210, 34, 24},
    {1015, "Button", "3", WS_TABSTOP, 266, 236, 34, 24},
    {1016, "Button", "4", WS_TABSTOP, 266, 263, 34, 24},
    {1017, "Button", "5", WS_TABSTOP, 266, 289, 34, 24},
    {1004, "Edit", "", kEdit, 315, 189, 35, 14},
    {1018, "Edit", "", kEdit, 315, 215, 35, 14},
    {1019, "Edit", "", kEdit, 315, 242, 35, 14},
    {1020, "Edit", "", kEdit, 315, 268, 35, 14},
    {1021, "Edit", "", kEdit, 315, 295, 35, 14},
    {-1, "Button", "Save config", BS_GROUPBOX, 260, 171, 47, 142},
    {-1, "Button", "Saved device", BS_GROUPBOX, 307, 171, 53, 142},
    {-1, "Button", "Reload config", BS_GROUPBOX, 361, 171, 60, 142},
};

const int kEditIds[] = {1004, 1018, 1019, 1020, 1021};

int g_rows = 40;

RECT Pixels(int x, int y, int cx, int cy) {
  kvplat::FrontEnd &fe = kvplat::ActiveFrontEnd();
  // cppcheck-suppress unreadVariable ; cppcheck 2.10 misses the read in the braced return below
  int left = MulDiv(x, fe.BaseUnitX(), 4), top = MulDiv(y, fe.BaseUnitY(), 8);
  return RECT{left, top, left + MulDiv(cx, fe.BaseUnitX(), 4), top + MulDiv(cy, fe.BaseUnitY(), 8)};
}

void AddColumn(HWND list, const char *text, int index) {
  LVCOLUMNA column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.cx = static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text))) + 15;
  column.pszText = const_cast<char *>(text);
  column.iSubItem = index;
  SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

void SetCell(HWND list, int row, int column, const std::string &text) {
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = const_cast<char *>(text.c_str());
  SendMessageA(list, column == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

std::string Format(const char *format, unsigned value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void FillDevices(HWND list) {
  static const char *const kTypes[] = {"Bridge device", "Network controller", "Display controller", "Serial bus"};
  static const char *const kDescriptions[] = {"Host bridge", "Ethernet controller", "VGA compatible controller",
                                              "USB controller"};
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  for (int row = 0; row < g_rows; ++row) {
    unsigned kind = static_cast<unsigned>(row) % 4;
    SetCell(list, row, 0, kTypes[kind]);
    SetCell(list, row, 1, std::to_string(row / 8));
    SetCell(list, row, 2, std::to_string(row % 32));
    SetCell(list, row, 3, std::to_string(row % 8));
    SetCell(list, row, 4, Format("%06X", 0x060000u + kind * 0x10000u));
    SetCell(list, row, 5, "8086");
    SetCell(list, row, 6, Format("%04X", 0x2A00u + static_cast<unsigned>(row)));
    SetCell(list, row, 7, kDescriptions[kind]);
  }
  for (int column = 0; column < 8; ++column)
    SendMessageA(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  LVITEMA state{};
  state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
  SendMessageA(list, LVM_SETSELECTIONMARK, 0, 0);
}

void FillRegisters(HWND list, int device) {
  static const char *const kLabels[] = {"Vendor ID", "Device ID", "Command", "Status", "Revision ID",
                                        "Class Code", "Cache Line Size", "Latency Timer", "Header Type", "BIST"};
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  int row = 0;
  for (const char *label : kLabels) {
    SetCell(list, row, 0, label);
    SetCell(list, row, 1, Format("0x%04X", static_cast<unsigned>(device * 16 + row)));
    ++row;
  }
  for (unsigned offset = 0; offset < 0x100; offset += 16, ++row) {
    SetCell(list, row, 0, Format("%02X:", offset));
    SetCell(list, row, 1, "86 80 00 2A 06 00 90 20 02 00 00 06 00 00 00 00");
  }
  SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
}

INT_PTR CALLBACK DemoProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SIZE) {
    // Minimising and restoring, as the smoke test checks them.
    std::printf("WM_SIZE %u\n", static_cast<unsigned>(wParam));
    std::fflush(stdout);
    return TRUE;
  }
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    int id = LOWORD(wParam);
    if (id == IDOK || id == IDCANCEL) {
      EndDialog(dialog, id);
    } else if (id == 1001) {
      FillDevices(GetDlgItem(dialog, 1000));
    } else if (id >= 1013 && id <= 1017) {
      HWND devices = GetDlgItem(dialog, 1000);
      int mark = static_cast<int>(SendMessageA(devices, LVM_GETSELECTIONMARK, 0, 0));
      SetWindowTextA(GetDlgItem(dialog, kEditIds[id - 1013]), Format("%06X", 0x10000u * static_cast<unsigned>(mark)).c_str());
    } else if (id >= 1008 && id <= 1012) {
      MessageBoxA(dialog, "ReloadDevice:ERROR", "kelvorant", MB_OK);
    }
    return TRUE;
  }
  if (msg == WM_NOTIFY) {
    auto *header = reinterpret_cast<NMHDR *>(lParam);
    if (header->idFrom == 1000 && header->code == LVN_ITEMCHANGED) {
      auto *nm = reinterpret_cast<NMLISTVIEW *>(lParam);
      if ((nm->uNewState & LVIS_SELECTED) && !(nm->uOldState & LVIS_SELECTED))
        FillRegisters(GetDlgItem(dialog, 1002), nm->iItem);
    }
    return TRUE;
  }
  return FALSE;
}

HWND CreateDemoDialog() {
  constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  HWND dialog = kvplat::CreateWindowState("#32770", "kelvorant", kStyle, WS_EX_APPWINDOW, Pixels(0, 0, 428, 320),
                                          nullptr, 0);
  SetWindowLongPtrA(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(DemoProc));
  for (const ControlSpec &c : kControls)
    kvplat::CreateWindowState(c.className, c.text, c.style | WS_CHILD | WS_VISIBLE, 0, Pixels(c.x, c.y, c.cx, c.cy),
                              dialog, c.id);
  HWND devices = GetDlgItem(dialog, 1000), registers = GetDlgItem(dialog, 1002);
  SendMessageA(devices, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  const char *const kColumns[] = {"Type", "Bus#", "Dev#", "Func#", "Class", "VID", "DID", "Description"};
  for (int i = 0; i < 8; ++i) AddColumn(devices, kColumns[i], i);
  AddColumn(registers, "Register", 0);
  AddColumn(registers, "Value", 1);
  FillDevices(devices);
  if (HICON icon = LoadIconA(nullptr, IDI_APPLICATION)) {
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  SetFocus(GetDlgItem(dialog, IDOK));
  ShowWindow(dialog, SW_SHOW);
  return dialog;
}

}  // namespace

int main(int argc, char **argv) {
  bool messageBoxOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc) g_rows = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--message-box") == 0) messageBoxOnly = true;
  }
  std::string error;
  std::unique_ptr<kvplat::FrontEnd> frontEnd = kvplat::MakeWindowFrontEnd(&error);
  if (!frontEnd) {
    std::fprintf(stderr, "window_demo: %s\n", error.c_str());
    return 2;
  }
  kvplat::SetActiveFrontEnd(frontEnd.get());
  InitCommonControls();
  int status;
  if (messageBoxOnly) {
    int answer = MessageBoxA(nullptr, "Failed to install/load kelvorant.sys!", "kelvorant", MB_OK | MB_ICONHAND);
    status = answer == IDOK ? 0 : 10 + answer;
  } else {
    HWND dialog = CreateDemoDialog();
    frontEnd->RunModalLoop(dialog);
    INT_PTR result = kvplat::StateOf<kvplat::DialogState>(dialog)->result;
    DestroyWindow(dialog);
    status = result == IDOK ? 0 : 10 + static_cast<int>(result);
  }
  kvplat::SetActiveFrontEnd(nullptr);
  return status;
}
