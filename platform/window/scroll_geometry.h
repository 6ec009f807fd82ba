// Where the parts of a scroll bar are, and which scroll position a dragged thumb stands for. Pure arithmetic
// along the bar's length, shared by the vertical (rows) and horizontal (pixels) bars of the list view.
#pragma once

namespace kvplat::window {

// What the bar scrolls: `total` units of which `page` are visible, the first visible one being `pos`.
struct ScrollRange {
  int total = 0;
  int page = 0;
  int pos = 0;
  int MaxPos() const { return total > page ? total - page : 0; }
};

enum class ScrollPart { Outside, LineUp, PageUp, Thumb, PageDown, LineDown };

struct ScrollBarLayout {
  int length = 0;       // of the whole bar
  int arrow = 0;        // each arrow button's length
  int thumbStart = 0;   // from the bar's start
  int thumbLength = 0;  // 0: no thumb (nothing to scroll, or no room)
};

constexpr int kMinThumbLength = 8;

ScrollBarLayout LayoutScrollBar(int length, int thickness, const ScrollRange &range);

// The part under `offset` (from the bar's start).
ScrollPart ScrollPartAt(const ScrollBarLayout &layout, int offset);

// The position that puts the thumb's start at `thumbStart`, clamped to the range.
int ScrollPosForThumb(const ScrollBarLayout &layout, const ScrollRange &range, int thumbStart);

}  // namespace kvplat::window
