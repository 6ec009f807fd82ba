// The dialog font's metrics: base units by Windows' rule, the choice of size, and the width cache.
#include <gtest/gtest.h>

#include <map>
#include <string>

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

TEST(DialogFont, LargestSizeWithinWindowsBaseUnits) {
  // Base units by size for three kinds of sans face.
  const std::map<int, BaseUnits> wide = {{9, {5, 12}}, {10, {6, 13}}, {11, {7, 14}}, {12, {7, 15}}};
  const std::map<int, BaseUnits> narrow = {{9, {5, 11}}, {10, {5, 12}}, {11, {6, 13}}, {12, {6, 14}}};
  const std::map<int, BaseUnits> huge = {{9, {8, 16}}, {10, {9, 17}}, {11, {10, 18}}, {12, {11, 19}}};
  auto from = [](const std::map<int, BaseUnits> &table) {
    return [&table](int size) { return table.at(size); };
  };
  EXPECT_EQ(ChooseDialogFontSize(from(wide)), 10);
  EXPECT_EQ(ChooseDialogFontSize(from(narrow)), 11);
  EXPECT_EQ(ChooseDialogFontSize(from(huge)), kvplat::window::kMinFontSize);
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
