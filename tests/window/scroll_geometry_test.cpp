// Scroll bar geometry: where the thumb is for a position, and which position a dragged thumb stands for.
#include <gtest/gtest.h>

#include "scroll_geometry.h"

namespace {

using kvplat::window::LayoutScrollBar;
using kvplat::window::ScrollBarLayout;
using kvplat::window::ScrollPart;
using kvplat::window::ScrollPartAt;
using kvplat::window::ScrollPosForThumb;
using kvplat::window::ScrollRange;

struct LayoutCase {
  const char *name;
  int length;
  ScrollRange range;
  int arrow, thumbStart, thumbLength;
};

TEST(ScrollGeometry, Layouts) {
  const LayoutCase cases[] = {
      // 166-pixel bar: 132 pixels of track between two 17-pixel arrows.
      {"top of 100 rows, 10 per page", 166, {100, 10, 0}, 17, 17, 13},
      {"bottom of 100 rows", 166, {100, 10, 90}, 17, 17 + 132 - 13, 13},
      {"half way", 166, {100, 10, 45}, 17, 17 + (132 - 13) / 2, 13},
      {"a huge list keeps a grabbable thumb", 166, {65536, 10, 0}, 17, 17, kvplat::window::kMinThumbLength},
      {"everything visible: no thumb", 166, {5, 10, 0}, 17, 0, 0},
      {"short bar: arrows share the length", 20, {100, 10, 0}, 10, 0, 0},
      {"position past the end is clamped", 166, {100, 10, 500}, 17, 17 + 132 - 13, 13},
  };
  for (const LayoutCase &c : cases) {
    ScrollBarLayout l = LayoutScrollBar(c.length, 17, c.range);
    EXPECT_EQ(l.arrow, c.arrow) << c.name;
    EXPECT_EQ(l.thumbStart, c.thumbStart) << c.name;
    EXPECT_EQ(l.thumbLength, c.thumbLength) << c.name;
  }
}

TEST(ScrollGeometry, PartsAlongTheBar) {
  ScrollBarLayout l = LayoutScrollBar(166, 17, ScrollRange{100, 10, 45});  // thumb at 76..88
  const std::pair<int, ScrollPart> cases[] = {
      {-1, ScrollPart::Outside},  {0, ScrollPart::LineUp},      {16, ScrollPart::LineUp},
      {17, ScrollPart::PageUp},   {75, ScrollPart::PageUp},     {76, ScrollPart::Thumb},
      {88, ScrollPart::Thumb},    {89, ScrollPart::PageDown},   {148, ScrollPart::PageDown},
      {149, ScrollPart::LineDown}, {165, ScrollPart::LineDown}, {166, ScrollPart::Outside},
  };
  for (const auto &[offset, part] : cases) EXPECT_EQ(ScrollPartAt(l, offset), part) << "offset " << offset;
  ScrollBarLayout empty = LayoutScrollBar(166, 17, ScrollRange{5, 10, 0});
  EXPECT_EQ(ScrollPartAt(empty, 80), ScrollPart::Outside) << "no thumb: the track does nothing";
}

TEST(ScrollGeometry, ThumbPositionsRoundTrip) {
  // Wherever the thumb is drawn for a position, dragging it there gives that position back.
  for (ScrollRange range : {ScrollRange{100, 10, 0}, ScrollRange{65536, 9, 0}, ScrollRange{13, 12, 0}}) {
    for (int pos = 0; pos <= range.MaxPos(); pos += std::max(1, range.MaxPos() / 500)) {
      range.pos = pos;
      ScrollBarLayout l = LayoutScrollBar(166, 17, range);
      int back = ScrollPosForThumb(l, range, l.thumbStart);
      // Many positions share a pixel on a long list; the thumb's pixel must map into that group.
      ScrollRange again = range;
      again.pos = back;
      EXPECT_EQ(LayoutScrollBar(166, 17, again).thumbStart, l.thumbStart) << "total " << range.total << " pos " << pos;
    }
  }
}

TEST(ScrollGeometry, DraggingPastTheEndsClamps) {
  ScrollRange range{100, 10, 0};
  ScrollBarLayout l = LayoutScrollBar(166, 17, range);
  EXPECT_EQ(ScrollPosForThumb(l, range, -50), 0);
  EXPECT_EQ(ScrollPosForThumb(l, range, 1000), 90);
  EXPECT_EQ(ScrollPosForThumb(LayoutScrollBar(166, 17, {5, 10, 0}), {5, 10, 0}, 60), 0);
}

}  // namespace
