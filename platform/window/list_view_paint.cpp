#include "list_view_paint.h"

#include <FL/fl_draw.H>

#include <algorithm>
#include <commctrl.h>

#include "draw3d.h"
#include "kvplat/frontend.h"
#include "text_fit.h"

namespace kvplat::window {

ListViewFrame ListViewFrameOf(HWND list, int x, int y) {
  ListViewFrame f;
  Window *w = FindWindowState(list);
  auto *state = StateOf<ListViewState>(list);
  if (!w || !state) return f;
  int border = (w->style & WS_BORDER) ? 1 : 0;
  f.clientX = x + border;
  f.clientY = y + border;
  f.geometry = ListViewLayout(list);
  return f;
}

POINT RowsPoint(const ListViewFrame &frame, int mouseX, int mouseY, int hOffset) {
  POINT pt{mouseX - frame.clientX + hOffset, mouseY - frame.clientY};
  pt.x = std::clamp<LONG>(pt.x, 0, std::max<LONG>(0, frame.geometry.client.right - 1));
  return pt;
}

namespace {

void PaintHeader(HWND list, const ListViewState &state, int cx, int cy, int clientWidth, int height, int hOffset) {
  // The insets that the list view's autosize widths leave room for.
  const int margin = ScaleForDpi(kHeaderMargin);
  int left = cx - hOffset;
  for (const ListViewColumn &column : state.columns) {
    if (left + column.width > cx && left < cx + clientWidth) {
      fl_rectf(left, cy, column.width, height, palette::kFace);
      DrawEdge(left, cy, column.width, height, Edge::Raised);
      ReportTextFit(list, column.text,
                    DrawTextLine(column.text, left + margin, cy + (height - fl_height()) / 2,
                                 column.width - 2 * margin, palette::kText));
    }
    left += column.width;
  }
  // The header continues past the last column as one empty item.
  if (left < cx + clientWidth) {
    int start = std::max(left, cx);
    fl_rectf(start, cy, cx + clientWidth - start, height, palette::kFace);
    DrawEdge(start, cy, cx + clientWidth - start + 2, height, Edge::Raised);
  }
}

void PaintRow(HWND list, const ListViewState &state, int row, int cx, int top, int rowHeight, int hOffset,
              bool showSelection) {
  const ListViewItem &item = state.items[row];
  const bool selected = showSelection && (item.state & LVIS_SELECTED);
  const int highlight = ListViewHighlightRight(list, row);
  const int textTop = top + (rowHeight - fl_height()) / 2;
  if (selected)
    fl_rectf(cx - hOffset, top, highlight, rowHeight,
             state.hasFocus ? palette::kSelection : palette::kInactiveSelection);
  const int margin = ScaleForDpi(kCellMargin);
  int left = cx - hOffset;
  for (size_t i = 0; i < state.columns.size(); ++i) {
    const ListViewColumn &column = state.columns[i];
    // A cell inside the highlight draws its text in the highlight's colour.
    bool highlighted = selected && state.hasFocus && left - (cx - hOffset) < highlight;
    const std::string &text = item.Text(column.subItem);
    ReportTextFit(list, text, DrawTextLine(text, left + margin, textTop, column.width - 2 * margin,
                                           highlighted ? palette::kSelectionText : palette::kText));
    left += column.width;
  }
  if (state.hasFocus && state.focusedItem == row)
    DrawFocusRect(cx - hOffset, top, highlight, rowHeight);
}

}  // namespace

void PaintListView(HWND list, const ListViewFrame &f, int hOffset) {
  Window *w = FindWindowState(list);
  auto *state = StateOf<ListViewState>(list);
  if (!w || !state) return;
  const ListViewGeometry &g = f.geometry;
  const int width = g.client.right, height = g.client.bottom;
  const int outerW = static_cast<int>(w->rect.right - w->rect.left), outerH = static_cast<int>(w->rect.bottom - w->rect.top);
  // WS_BORDER: the one-pixel frame that the client area sits in.
  if (w->style & WS_BORDER) DrawFrame(f.clientX - 1, f.clientY - 1, outerW, outerH, palette::kShadow);
  fl_push_clip(f.clientX, f.clientY, width, height);
  fl_rectf(f.clientX, f.clientY, width, height, palette::kWindow);
  SelectDialogFont();
  if (g.headerHeight > 0) PaintHeader(list, *state, f.clientX, f.clientY, width, g.headerHeight, hOffset);
  fl_push_clip(f.clientX, f.clientY + g.headerHeight, width, height - g.headerHeight);
  const bool showSelection = state->hasFocus || (w->style & LVS_SHOWSELALWAYS);
  const int count = static_cast<int>(state->items.size());
  for (int row = state->topIndex, top = f.clientY + g.headerHeight;
       row < count && top < f.clientY + height && g.rowHeight > 0; ++row, top += g.rowHeight)
    PaintRow(list, *state, row, f.clientX, top, g.rowHeight, hOffset, showSelection);
  fl_pop_clip();
  fl_pop_clip();
}

}  // namespace kvplat::window
