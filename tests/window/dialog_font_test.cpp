// The dialog font's metrics: base units by Windows' rule, the choice of size, and the width cache.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dialog_font.h"

namespace {

using kvplat::window::BaseUnits;
using kvplat::window::ChooseDialogFontSize;
using kvplat::window::ComputeBaseUnits;
using kvplat::window::TextWidthCache;

TEST(DialogFont, BaseUnitsAreTheRoundedAverageLetterWidth) {
  struct Case {
    double letterWidth;
    int expectedX;
  };
  for (Case c : {Case{6.0, 6}, Case{6.19, 6}, Case{6.5, 7}, Case{6.9, 7}, Case{5.49, 5}}) {
    std::string seen;
    BaseUnits units = ComputeBaseUnits(
        [&](std::string_view text) {
          seen = std::string(text);
          return c.letterWidth * static_cast<double>(text.size());
        },
        13);
    EXPECT_EQ(units.x, c.expectedX) << c.letterWidth;
    EXPECT_EQ(units.y, 13);
    EXPECT_EQ(seen, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  }
}

TEST(DialogFont, EightPointsAtTheResolutionWithinWindowsBaseUnits) {
  // Base units by pixel size for three kinds of sans face: DejaVu Sans as FLTK measures it, a narrow face
  // close to Windows' own, and one far too wide.
  const std::map<int, BaseUnits> dejaVu = {
      {9, {6, 12}},   {10, {6, 13}},  {11, {7, 14}},  {12, {7, 15}},  {13, {8, 17}},  {14, {9, 17}},
      {15, {9, 18}},  {16, {10, 19}}, {17, {11, 21}}, {18, {11, 22}}, {19, {12, 23}}, {20, {12, 24}},
      {21, {13, 25}}, {22, {14, 27}}};
  std::map<int, BaseUnits> narrow, huge;
  for (int size = 1; size <= 40; ++size) {
    narrow[size] = BaseUnits{size / 2, size + size / 5};
    huge[size] = BaseUnits{size, 2 * size};
  }
  struct Case {
    const char *face;
    const std::map<int, BaseUnits> *units;
    int dpi;
    int expected;
  };
  const Case cases[] = {
      {"DejaVu", &dejaVu, 96, 10},   // 11 pixels (8 points) would make base units of 7 x 14
      {"DejaVu", &dejaVu, 144, 15},  // within 9 x 20
      {"DejaVu", &dejaVu, 192, 20},  // within 12 x 26: twice the 96-dpi size
      {"narrow", &narrow, 96, 11},   // 8 points is the largest size, even when more would fit
      {"narrow", &narrow, 192, 21},
      {"huge", &huge, 96, kvplat::window::kMinFontSize},  // nothing fits: the smallest size
      {"huge", &huge, 192, 2 * kvplat::window::kMinFontSize},
  };
  for (const Case &c : cases) {
    std::vector<int> asked;
    int size = ChooseDialogFontSize(c.dpi, [&](int s) {
      asked.push_back(s);
      return c.units->at(s);
    });
    EXPECT_EQ(size, c.expected) << c.face << " at " << c.dpi << " dpi";
    ASSERT_FALSE(asked.empty()) << c.face;
    EXPECT_EQ(asked.front(), (8 * c.dpi + 36) / 72) << c.face << ": the search starts at 8 points";
  }
}

TEST(DialogFont, AsciiTextIsMeasuredOneCharacterAtATime) {
  std::map<std::string, int> calls;
  TextWidthCache cache([&](std::string_view text) {
    ++calls[std::string(text)];
    return text == "W" ? 11.0 : 6.0 * static_cast<double>(text.size());
  });
  EXPECT_EQ(cache.Width("WAW"), 28);
  EXPECT_EQ(cache.Width("AWWA"), 34);
  EXPECT_EQ(cache.Width(""), 0);
  for (int i = 0; i < 1000; ++i) cache.Width("0x" + std::to_string(i));
  // Each character was measured once, whatever the strings.
  for (const auto &[text, count] : calls) {
    EXPECT_EQ(text.size(), 1u) << text;
    EXPECT_EQ(count, 1) << text;
  }
}

TEST(DialogFont, OtherTextIsMeasuredWholeAndKept) {
  int calls = 0;
  TextWidthCache cache([&](std::string_view text) {
    ++calls;
    return 5.0 * static_cast<double>(text.size());
  });
  const std::string accented = "Caf\xc3\xa9";  // UTF-8: measured as it will be drawn, whole
  EXPECT_EQ(cache.Width(accented), 25);
  EXPECT_EQ(cache.Width(accented), 25);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(cache.Width("tab\there"), 40);
  EXPECT_EQ(calls, 2);
  // The store is bounded: far more distinct strings than it keeps still measure right.
  for (int i = 0; i < 10000; ++i) EXPECT_EQ(cache.Width("\xc3\xa9" + std::to_string(i)), 5 * (2 + static_cast<int>(std::to_string(i).size())));
}

}  // namespace
