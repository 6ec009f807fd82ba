// Prints what text metrics cost in the window front end: fl_width itself, the front end's TextWidth, and
// fitting a 65,536-row device list's columns to their contents (LVSCW_AUTOSIZE_USEHEADER measures every
// cell). Needs a display (Xvfb will do):  DISPLAY=:N ./text_width_bench [rows]
#include <windows.h>
#include <commctrl.h>

#include <FL/fl_draw.H>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "draw3d.h"
#include "kvplat/frontend.h"
#include "kvplat/window.h"
#include "window_frontend.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<std::string> Cells(int rows) {
  std::vector<std::string> cells;
  char text[32];
  for (int row = 0; row < rows; ++row) {
    std::snprintf(text, sizeof text, "%04X", 0x2A00u + static_cast<unsigned>(row));
    cells.push_back(row % 2 ? "Network controller" : "Bridge device");
    cells.push_back(std::to_string(row >> 8));
    cells.push_back(text);
  }
  return cells;
}

}  // namespace

int main(int argc, char **argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 65536;
  std::string error;
  auto frontEnd = kvplat::MakeWindowFrontEnd(&error);
  if (!frontEnd) {
    std::fprintf(stderr, "text_width_bench: %s\n", error.c_str());
    return 2;
  }
  kvplat::SetActiveFrontEnd(frontEnd.get());
  std::vector<std::string> cells = Cells(rows);

  auto start = std::chrono::steady_clock::now();
  long long sum = 0;
  for (const std::string &cell : cells) {
    kvplat::window::SelectDialogFont();
    sum += static_cast<long long>(fl_width(cell.c_str(), static_cast<int>(cell.size())));
  }
  double raw = Seconds(start);
  start = std::chrono::steady_clock::now();
  long long cached = 0;
  for (const std::string &cell : cells) cached += frontEnd->TextWidth(cell);
  double front = Seconds(start);
  std::printf("fl_width:            %zu cells in %.1f ms (%.0f ns a cell)\n", cells.size(), raw * 1e3,
              raw * 1e9 / static_cast<double>(cells.size()));
  std::printf("TextWidth (cached):  %zu cells in %.1f ms (%.0f ns a cell), same total: %s\n", cells.size(),
              front * 1e3, front * 1e9 / static_cast<double>(cells.size()), sum == cached ? "yes" : "NO");

  // A device list as the bus scan fills it, then every column fitted to its contents.
  InitCommonControls();
  HWND parent = kvplat::CreateWindowState("#32770", "bench", WS_POPUP, 0, RECT{0, 0, 640, 480}, nullptr, 0);
  HWND list = kvplat::CreateWindowState(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | WS_BORDER, 0,
                                        RECT{10, 10, 631, 218}, parent, 1000);
  const char *const kColumns[] = {"Type", "Bus#", "Dev#", "Func#", "Class", "VID", "DID", "Description"};
  for (int i = 0; i < 8; ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char *>(kColumns[i]);
    column.cx = 50;
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < 8; ++column) {
      const std::string &text = cells[static_cast<size_t>(row) * 3 + static_cast<size_t>(column % 3)];
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.iSubItem = column;
      item.pszText = const_cast<char *>(text.c_str());
      SendMessageA(list, column == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
  }
  start = std::chrono::steady_clock::now();
  for (int column = 0; column < 8; ++column)
    SendMessageA(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  double autosize = Seconds(start);
  std::printf("autosize:            8 columns of %d rows in %.1f ms\n", rows, autosize * 1e3);
  DestroyWindow(parent);
  kvplat::SetActiveFrontEnd(nullptr);
  return 0;
}
