// The list view model against the behaviour of Windows' list view: notification sequences, the selection
// mark, deletion, column widths. Expected sequences are tables, compared whole.
#include <gtest/gtest.h>

#include <functional>

#include "kvplat/frontend.h"
#include "kvplat/listview.h"
#include "kvplat/window.h"
#include "message_log.h"
#include "test_frontend.h"

namespace {

using kvtest::MessageLog;
using Lines = std::vector<std::string>;

class ListViewTest : public ::testing::Test {
 public:
  void SetUp() override {
    parent = kvtest::CreateLoggingParent(&log);
    list = kvtest::CreateListView(parent);
    AddColumn("Name", 80);
    AddColumn("Value", 60);
  }
  void TearDown() override { DestroyWindow(parent); }

  void AddColumn(const char *text, int width) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char *>(text);
    column.cx = width;
    SendMessageA(list, LVM_INSERTCOLUMNA, 99, reinterpret_cast<LPARAM>(&column));
  }
  int AddRow(const std::string &text, LPARAM data) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = 1 << 20;
    item.pszText = const_cast<char *>(text.c_str());
    item.lParam = data;
    return static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  }
  void AddRows(int n) {
    for (int i = 0; i < n; ++i) AddRow("row" + std::to_string(i), 100 + i);
  }
  BOOL SetState(int item, UINT state, UINT mask) {
    LVITEMA lvi{};
    lvi.state = state;
    lvi.stateMask = mask;
    return static_cast<BOOL>(SendMessageA(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&lvi)));
  }
  BOOL SetData(int item, int subItem, LPARAM data) {
    LVITEMA lvi{};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = item;
    lvi.iSubItem = subItem;
    lvi.lParam = data;
    return static_cast<BOOL>(SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&lvi)));
  }
  UINT State(int item) { return Model().items[item].state; }
  int Mark() { return static_cast<int>(SendMessageA(list, LVM_GETSELECTIONMARK, 0, 0)); }
  int SetMark(int mark) { return static_cast<int>(SendMessageA(list, LVM_SETSELECTIONMARK, 0, mark)); }
  kvplat::ListViewState &Model() { return *kvplat::StateOf<kvplat::ListViewState>(list); }

  MessageLog log;
  HWND parent = nullptr;
  HWND list = nullptr;
};

struct SequenceCase {
  const char *name;
  std::function<void(ListViewTest &)> setup;
  std::function<void(ListViewTest &)> action;
  Lines expected;
  int markAfter;
};

TEST_F(ListViewTest, NotificationSequences) {
  const SequenceCase cases[] = {
      {"selecting B deselects A before B's change is told",
       [](ListViewTest &t) { t.SetState(0, 3, 3); },
       [](ListViewTest &t) { t.SetState(1, LVIS_SELECTED, LVIS_SELECTED); },
       {"ITEMCHANGED 0 old=3 new=1 changed=8 data=100 mark=0", "ITEMCHANGED 1 old=0 new=2 changed=8 data=101 mark=0"},
       0},
      {"the focus moves: the item that loses it is told first",
       [](ListViewTest &t) { t.SetState(0, LVIS_FOCUSED, LVIS_FOCUSED); },
       [](ListViewTest &t) { t.SetState(2, LVIS_FOCUSED, LVIS_FOCUSED); },
       {"ITEMCHANGED 0 old=1 new=0 changed=8 data=100 mark=0", "ITEMCHANGED 2 old=0 new=1 changed=8 data=102 mark=0"},
       0},
      {"clearing the selection of a selected item",
       [](ListViewTest &t) { t.SetState(1, LVIS_SELECTED, LVIS_SELECTED); },
       [](ListViewTest &t) { t.SetState(1, 0, LVIS_SELECTED); },
       {"ITEMCHANGED 1 old=2 new=0 changed=8 data=101 mark=-1"},
       -1},
      {"what changes nothing is not told: an unselected item's selection cleared, the data it has, delete all",
       [](ListViewTest &t) { t.SetState(0, 3, 3); },
       [](ListViewTest &t) {
         t.SetState(1, 0, LVIS_SELECTED);
         EXPECT_TRUE(t.SetData(1, 0, 101));
         SendMessageA(t.list, LVM_DELETEALLITEMS, 0, 0);
       },
       {},
       -1},
      {"item data set on sub-item 0",
       [](ListViewTest &) {},
       [](ListViewTest &t) { EXPECT_TRUE(t.SetData(1, 0, 555)); },
       {"ITEMCHANGED 1 old=0 new=0 changed=4 data=555 mark=-1"},
       -1},
      {"item data on a sub-item fails silently",
       [](ListViewTest &) {},
       [](ListViewTest &t) { EXPECT_FALSE(t.SetData(1, 1, 7)); },
       {},
       -1},
      {"a click on another row: mark first, deselect, select and focus, NM_CLICK",
       [](ListViewTest &t) { t.SetState(0, 3, 3); },
       [](ListViewTest &t) { kvplat::input::ClickListRow(t.list, 1, 0); },
       {"ITEMCHANGED 0 old=3 new=1 changed=8 data=100 mark=1",
        "ITEMCHANGED 0 old=1 new=0 changed=8 data=100 mark=1", "ITEMCHANGED 1 old=0 new=3 changed=8 data=101 mark=1",
        "CLICK 1 sub=0 data=101"},
       1},
      {"a click on the row already selected changes nothing but clicks",
       [](ListViewTest &t) { kvplat::input::ClickListRow(t.list, 1, 0); },
       [](ListViewTest &t) { kvplat::input::ClickListRow(t.list, 1, 0); },
       {"CLICK 1 sub=0 data=101"},
       1},
      {"a click below the rows deselects; focus and mark stay",
       [](ListViewTest &t) { kvplat::input::ClickListRow(t.list, 1, 0); },
       [](ListViewTest &t) { kvplat::input::ClickListEmpty(t.list); },
       {"ITEMCHANGED 1 old=3 new=1 changed=8 data=101 mark=1", "CLICK -1 sub=0 data=0"},
       1},
      {"no click where the list shows no such row or no space below its rows: nothing is sent",
       [](ListViewTest &t) {
         kvplat::Window *w = kvplat::FindWindowState(t.list);
         w->rect.bottom = w->rect.top + 12;  // shorter than its header
       },
       [](ListViewTest &t) {
         EXPECT_FALSE(kvplat::input::ClickListRow(t.list, 0, 0));
         EXPECT_FALSE(kvplat::input::ClickListRow(t.list, 3, 0));
         EXPECT_FALSE(kvplat::input::ClickListRow(t.list, 0, 2));
         EXPECT_FALSE(kvplat::input::ClickListEmpty(t.list));
       },
       {},
       -1},
      {"arrow down selects the next row as a click does",
       [](ListViewTest &t) { kvplat::input::ClickListRow(t.list, 0, 0); },
       [](ListViewTest &t) { SendMessageA(t.list, WM_KEYDOWN, VK_DOWN, 0); },
       {"ITEMCHANGED 0 old=3 new=1 changed=8 data=100 mark=1", "ITEMCHANGED 0 old=1 new=0 changed=8 data=100 mark=1",
        "ITEMCHANGED 1 old=0 new=3 changed=8 data=101 mark=1"},
       1},
      {"arrow down with no focused row selects row 0",
       [](ListViewTest &) {},
       [](ListViewTest &t) { SendMessageA(t.list, WM_KEYDOWN, VK_DOWN, 0); },
       {"ITEMCHANGED 0 old=0 new=3 changed=8 data=100 mark=0"},
       0},
      {"arrow up on the first row does nothing more",
       [](ListViewTest &t) { kvplat::input::ClickListRow(t.list, 0, 0); },
       [](ListViewTest &t) { SendMessageA(t.list, WM_KEYDOWN, VK_UP, 0); },
       {},
       0},
  };
  for (const SequenceCase &c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    log = MessageLog{};
    SetUp();
    AddRows(3);
    c.setup(*this);
    log.Clear();
    c.action(*this);
    EXPECT_EQ(log.entries, c.expected);
    EXPECT_EQ(Mark(), c.markAfter);
  }
}

TEST_F(ListViewTest, SelectionMarkRules) {
  AddRows(3);
  EXPECT_EQ(Mark(), -1);
  EXPECT_EQ(SetMark(1), -1);  // returns the previous mark
  EXPECT_EQ(SetMark(3), 1);   // not below the count: ignored
  EXPECT_EQ(SetMark(-2), 1);  // below -1: ignored
  EXPECT_EQ(Mark(), 1);
  EXPECT_EQ(SetMark(-1), 1);

  SetState(2, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(Mark(), -1) << "selecting does not move the mark";
  SetState(2, LVIS_FOCUSED, LVIS_FOCUSED);
  EXPECT_EQ(Mark(), 2) << "the first focus moves an unset mark";
  SetState(0, LVIS_FOCUSED, LVIS_FOCUSED);
  EXPECT_EQ(Mark(), 2) << "a later focus does not";

  AddRow("inserted", 9);  // appended: no shift
  LVITEMA first{};
  first.mask = LVIF_TEXT;
  first.pszText = const_cast<char *>("first");
  EXPECT_EQ(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&first)), 0);
  EXPECT_EQ(Mark(), 3) << "an insertion before the mark moves it with its row";
  EXPECT_EQ(State(1), static_cast<UINT>(LVIS_FOCUSED));

  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  EXPECT_EQ(Mark(), -1);
  EXPECT_EQ(Model().focusedItem, -1);
  EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(ListViewTest, InsertItemRules) {
  struct Case {
    int item, subItem;
    LRESULT expected;
  };
  const Case cases[] = {{0, 0, 0}, {5, 0, 1}, {1, 0, 1}, {-1, 0, -1}, {0, 1, -1}};
  for (const Case &c : cases) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = c.item;
    item.iSubItem = c.subItem;
    item.pszText = const_cast<char *>("x");
    EXPECT_EQ(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)), c.expected)
        << "item " << c.item << " sub-item " << c.subItem;
  }
  EXPECT_EQ(Model().items.size(), 3u);
}

TEST_F(ListViewTest, SubItemTextNeedsAColumn) {
  AddRows(1);
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = 0;
  item.pszText = const_cast<char *>("v");
  item.iSubItem = 1;
  EXPECT_TRUE(SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  item.iSubItem = 2;
  EXPECT_FALSE(SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(Model().items[0].Text(1), "v");
  EXPECT_TRUE(log.entries.empty()) << "sub-item texts raise no item notifications";
}

TEST_F(ListViewTest, AutosizeWidths) {
  // Headless metrics: 6 pixels a character. The list is 200 pixels wide with a border: client 198.
  AddRow("a", 0);
  AddRow("twelve chars", 0);  // 72 pixels
  auto setWidth = [&](int column, int width) {
    return SendMessageA(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
  };
  auto width = [&](int column) { return Model().columns[column].width; };

  EXPECT_TRUE(setWidth(0, LVSCW_AUTOSIZE_USEHEADER));
  EXPECT_EQ(width(0), 72 + 12) << "widest item + 12 beats heading + 11";
  EXPECT_TRUE(setWidth(1, LVSCW_AUTOSIZE_USEHEADER));
  EXPECT_EQ(width(1), 198 - 84) << "the last column takes the rest of the client width";
  EXPECT_TRUE(setWidth(0, 30));
  EXPECT_EQ(width(0), 30);
  EXPECT_FALSE(setWidth(2, 30)) << "no such column";

  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  setWidth(0, LVSCW_AUTOSIZE_USEHEADER);
  EXPECT_EQ(width(0), 4 * 6 + 11) << "an empty list fits the heading";

  // Rows that overflow the height bring a vertical scroll bar, which the last column leaves room for.
  AddRows(10);
  setWidth(1, LVSCW_AUTOSIZE_USEHEADER);
  EXPECT_EQ(width(1), 198 - kvplat::kScrollBarSize - 35);
  EXPECT_EQ(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>("Description")), 66);
}

// A front end at another resolution, with base units and text widths that grow with it.
class ScaledFrontEnd : public kvtest::TestFrontEnd {
 public:
  explicit ScaledFrontEnd(int dpi) : dpi_(dpi) {}
  int TextWidth(std::string_view text) override { return static_cast<int>(text.size()) * BaseUnitX(); }
  int BaseUnitX() override { return MulDiv(6, dpi_, 96); }
  int BaseUnitY() override { return MulDiv(13, dpi_, 96); }
  int Dpi() override { return dpi_; }

 private:
  int dpi_;
};

TEST_F(ListViewTest, MetricsGrowWithTheResolution) {
  // Rows, header, scroll bars and the autosize margins, as a DPI-aware program sees them: the font's height
  // plus margins given for 96 dpi and scaled.
  struct Case {
    int dpi;
    int rowHeight, headerHeight, scrollBar, cellWidth, headingWidth;
  };
  const Case cases[] = {
      {96, 13 + 4, 13 + 8, 17, 12 * 6 + 12, 4 * 6 + 11},
      {144, 20 + 6, 20 + 12, 26, 12 * 9 + 18, 4 * 9 + 17},  // 5 * 1.5 = 7.5 rounds to 8 on each side
      {192, 26 + 8, 26 + 16, 34, 12 * 12 + 24, 4 * 12 + 21},
  };
  for (const Case &c : cases) {
    // cppcheck-suppress unreadVariable ; the front end in force while it lives
    ScaledFrontEnd frontEnd(c.dpi);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    AddRow("twelve chars", 0);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
    EXPECT_EQ(Model().columns[0].width, c.cellWidth) << c.dpi;
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
    EXPECT_EQ(Model().columns[0].width, c.headingWidth) << c.dpi;

    AddRows(40);
    kvplat::ListViewGeometry g = kvplat::ListViewLayout(list);
    EXPECT_EQ(g.rowHeight, c.rowHeight) << c.dpi;
    EXPECT_EQ(g.headerHeight, c.headerHeight) << c.dpi;
    EXPECT_EQ(g.scrollBarSize, c.scrollBar) << c.dpi;
    EXPECT_TRUE(g.verticalScrollBar) << c.dpi;
  }
}

TEST_F(ListViewTest, FullRowSelectDecidesWhatAClickHits) {
  AddRows(2);
  POINT valueCell{80 + 5, 21 + 17 + 5};  // row 1, second column
  LPARAM at = MAKELPARAM(valueCell.x, valueCell.y);
  SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(list, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(log.entries.back(), "CLICK -1 sub=0 data=0") << "without full-row select only the label hits";

  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(list, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(log.entries.back(), "CLICK 1 sub=1 data=101");
  EXPECT_EQ(State(1), static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED));
}

TEST_F(ListViewTest, ExtendedStyleAndRedraw) {
  EXPECT_EQ(SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, 0x21), 0);
  EXPECT_EQ(SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0x01, 0), 0x21) << "returns the previous style";
  EXPECT_EQ(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x20);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  AddRows(2);
  SetState(1, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(log.entries.size(), 1u) << "notifications go on while redrawing is off";
  EXPECT_FALSE(Model().redraw);
}

}  // namespace
