// The list view as the window front end places it: a mouse position on a drawn row must hit that row in the
// list view's own hit test, whatever the scroll positions, and the highlight spans what Windows highlights.
// Metrics are the headless ones (6 x 13: rows 17, header 21 pixels).
#include <gtest/gtest.h>

#include <commctrl.h>

#include "kvplat/frontend.h"
#include "kvplat/listview.h"
#include "list_view_paint.h"
#include "message_log.h"

namespace {

using kvplat::ListViewHighlightRight;
using kvplat::window::ListViewFrame;
using kvplat::window::ListViewFrameOf;
using kvplat::window::RowsPoint;

constexpr int kWidgetX = 10, kWidgetY = 10;  // the list's rectangle in the dialog (message_log.cpp)

class ListViewPaintTest : public ::testing::Test {
 public:
  void SetUp() override {
    parent = kvtest::CreateLoggingParent(&log);
    list = kvtest::CreateListView(parent);
    for (auto [text, width] : {std::pair{"Type", 70}, std::pair{"Value", 60}, std::pair{"More", 100}}) {
      LVCOLUMNA column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.pszText = const_cast<char *>(text);
      column.cx = width;
      SendMessageA(list, LVM_INSERTCOLUMNA, 99, reinterpret_cast<LPARAM>(&column));
    }
    for (int i = 0; i < 30; ++i) {
      std::string text = i % 2 ? "row" : "a much longer row label";
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = i;
      item.pszText = text.data();
      SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
  }
  void TearDown() override { DestroyWindow(parent); }

  void FullRow(bool on) {
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, on ? LVS_EX_FULLROWSELECT : 0);
  }

  // Clicks where the front end draws `row` (screen row `row - topIndex`), `x` pixels into the drawn row, on
  // its last line of pixels.
  void ClickDrawnRow(int row, int x, int hOffset) {
    ListViewFrame f = ListViewFrameOf(list, kWidgetX, kWidgetY);
    const int top = kvplat::StateOf<kvplat::ListViewState>(list)->topIndex;
    int mouseY = f.clientY + f.geometry.headerHeight + (row - top) * f.geometry.rowHeight + f.geometry.rowHeight - 1;
    POINT pt = RowsPoint(f, f.clientX + x, mouseY, hOffset);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    SendMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
  }
  int Selected() {
    auto *state = kvplat::StateOf<kvplat::ListViewState>(list);
    for (size_t i = 0; i < state->items.size(); ++i)
      if (state->items[i].state & LVIS_SELECTED) return static_cast<int>(i);
    return -1;
  }

  kvtest::MessageLog log;
  HWND parent = nullptr;
  HWND list = nullptr;
};

TEST_F(ListViewPaintTest, ClientAreaStartsInsideTheBorder) {
  ListViewFrame f = ListViewFrameOf(list, kWidgetX, kWidgetY);
  EXPECT_EQ(f.clientX, kWidgetX + 1);
  EXPECT_EQ(f.clientY, kWidgetY + 1);
  EXPECT_EQ(f.geometry.columnsWidth, 230);
  EXPECT_TRUE(f.geometry.verticalScrollBar);     // 30 rows of 17 pixels in 77
  EXPECT_TRUE(f.geometry.horizontalScrollBar);   // 230 pixels of columns in 181
}

TEST_F(ListViewPaintTest, DrawnRowsHitTheirRows) {
  FullRow(true);
  struct Case {
    int top, row, x, hOffset;
  };
  // Three rows fit the 60 pixels between the header and the horizontal scroll bar.
  for (Case c : {Case{0, 0, 3, 0}, Case{0, 2, 150, 0}, Case{5, 5, 20, 0}, Case{5, 7, 100, 0}, Case{27, 29, 3, 0},
                 Case{10, 12, 3, 40}, Case{10, 11, 170, 49}}) {
    kvplat::ListViewSetTopIndex(list, c.top);
    ASSERT_EQ(kvplat::StateOf<kvplat::ListViewState>(list)->topIndex, c.top);
    ClickDrawnRow(c.row, c.x, c.hOffset);
    EXPECT_EQ(Selected(), c.row) << "top " << c.top << " row " << c.row << " x " << c.x << " scrolled " << c.hOffset;
  }
}

TEST_F(ListViewPaintTest, HorizontalScrollingShiftsTheColumnThatIsHit) {
  FullRow(true);
  // 80 pixels into the view with the columns scrolled 40 left is 120 pixels into the columns: "Value".
  ClickDrawnRow(2, 80, 40);
  ASSERT_FALSE(log.entries.empty());
  EXPECT_EQ(log.entries.back(), "CLICK 2 sub=1 data=0");
}

TEST_F(ListViewPaintTest, HighlightIsTheRowOrTheLabel) {
  FullRow(true);
  EXPECT_EQ(ListViewHighlightRight(list, 1), 230);
  FullRow(false);
  EXPECT_EQ(ListViewHighlightRight(list, 1), 3 * 6 + 12);  // "row" and its padding
  EXPECT_EQ(ListViewHighlightRight(list, 0), 70);          // a long label stops at its column
  EXPECT_EQ(ListViewHighlightRight(list, 99), 0);
  // What is drawn highlighted is what a click hits: inside the label selects, past it does not.
  ClickDrawnRow(1, ListViewHighlightRight(list, 1) - 1, 0);
  EXPECT_EQ(Selected(), 1);
  ClickDrawnRow(3, ListViewHighlightRight(list, 3) + 1, 0);
  EXPECT_EQ(Selected(), -1);
}

}  // namespace
