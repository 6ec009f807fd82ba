#include "scroll_geometry.h"

#include <algorithm>

namespace kvplat::window {

ScrollBarLayout LayoutScrollBar(int length, int thickness, const ScrollRange &range) {
  ScrollBarLayout layout;
  layout.length = std::max(0, length);
  // Short bars share their length between the two arrows, as Windows does.
  layout.arrow = std::min(thickness, layout.length / 2);
  const int track = layout.length - 2 * layout.arrow;
  const int maxPos = range.MaxPos();
  if (maxPos <= 0 || track < kMinThumbLength || range.total <= 0) return layout;
  long long proportional = static_cast<long long>(track) * std::max(range.page, 0) / range.total;
  layout.thumbLength = std::clamp(static_cast<int>(proportional), kMinThumbLength, track);
  const int travel = track - layout.thumbLength;
  const int pos = std::clamp(range.pos, 0, maxPos);
  layout.thumbStart = layout.arrow + static_cast<int>(static_cast<long long>(travel) * pos / maxPos);
  return layout;
}

ScrollPart ScrollPartAt(const ScrollBarLayout &layout, int offset) {
  if (offset < 0 || offset >= layout.length) return ScrollPart::Outside;
  if (offset < layout.arrow) return ScrollPart::LineUp;
  if (offset >= layout.length - layout.arrow) return ScrollPart::LineDown;
  if (layout.thumbLength == 0) return ScrollPart::Outside;
  if (offset < layout.thumbStart) return ScrollPart::PageUp;
  if (offset < layout.thumbStart + layout.thumbLength) return ScrollPart::Thumb;
  return ScrollPart::PageDown;
}

int ScrollPosForThumb(const ScrollBarLayout &layout, const ScrollRange &range, int thumbStart) {
  const int maxPos = range.MaxPos();
  const int travel = layout.length - 2 * layout.arrow - layout.thumbLength;
  if (maxPos <= 0 || travel <= 0 || layout.thumbLength == 0) return 0;
  const int offset = std::clamp(thumbStart - layout.arrow, 0, travel);
  // The first position whose thumb is drawn at this offset (the layout rounds down), so that the thumb stays
  // exactly where it was let go.
  return static_cast<int>((static_cast<long long>(offset) * maxPos + travel - 1) / travel);
}

}  // namespace kvplat::window
