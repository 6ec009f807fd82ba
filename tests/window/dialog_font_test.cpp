// The dialog font's metrics: base units by Windows' rule, the choice of size, and the width cache.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "diag_lines.h"
#include "dialog_font.h"
#include "font_face.h"

// fontconfig keeps its configuration and caches for the whole process once a face is looked up: not a leak
// of ours (LeakSanitizer reads these when the tests run under AddressSanitizer).
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libfreetype.so\n"; }

namespace {

using kvplat::window::BaseUnits;
using kvplat::window::ChooseDialogFontSize;
using kvplat::window::ComputeBaseUnits;
using kvplat::window::FaceMetrics;
using kvplat::window::FindFace;
using kvplat::window::ServedFace;
using kvplat::window::SubstituteFace;
using kvplat::window::WindowsLineHeight;
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

TEST(DialogFont, TheFacesOfTheShellsDialogFonts) {
  const std::map<std::string, std::string> faces = {{"MS Shell Dlg 2", "Tahoma"},
                                                    {"ms shell dlg 2", "Tahoma"},
                                                    {"MS Shell Dlg", "MS Sans Serif"},
                                                    {"Tahoma", "Tahoma"},
                                                    {"MS Shell Dlg 3", "MS Shell Dlg 3"}};
  for (const auto &[typeface, face] : faces) EXPECT_EQ(SubstituteFace(typeface), face) << typeface;
}

TEST(DialogFont, WindowsLineHeightFromTheWindowsAscentAndDescent) {
  // Tahoma's: 8 points is 13 pixels high at 96 dpi (11 pixels per em), 16 at 120 (13), 25 at 192 (21).
  const FaceMetrics tahoma{2048, 2049, 423};
  const std::map<int, int> heights = {{11, 13}, {13, 16}, {21, 25}};
  for (const auto &[pixels, height] : heights) EXPECT_EQ(WindowsLineHeight(tahoma, pixels), height) << pixels;
  EXPECT_EQ(WindowsLineHeight(FaceMetrics{}, 11), 0);
}

std::vector<std::string> g_diagLines;

TEST(DialogFont, TahomaFromFontsWineElseAStandInThatSaysSoOnce) {
  kvtest::SetDiagSink([](const std::string &line) { g_diagLines.push_back(line); });
  const ServedFace missing = FindFace("Tahoma", "/nonexistent");
  FindFace("Tahoma", "/nonexistent");
  kvtest::SetDiagSink(nullptr);
  if (missing.found) GTEST_SKIP() << "this system has a Tahoma of its own";
  EXPECT_FALSE(missing.family.empty());
  ASSERT_EQ(g_diagLines.size(), 1u);
  EXPECT_EQ(g_diagLines[0],
            "kelvorant: the dialog font Tahoma is not installed (Debian package fonts-wine): dialogs are drawn in " +
                missing.family + ", whose texts may not fit their controls\n");

  if (!std::filesystem::exists(std::string(kvplat::window::kWineFontDir) + "/tahoma.ttf"))
    GTEST_SKIP() << "fonts-wine is not installed";
  const ServedFace tahoma = FindFace("Tahoma");
  EXPECT_TRUE(tahoma.found);
  EXPECT_EQ(tahoma.family, "Tahoma");
  EXPECT_EQ(WindowsLineHeight(tahoma.metrics, 11), 13) << "the OS/2 table's Windows metrics, not its typographic ones";
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
