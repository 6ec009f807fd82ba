// The dialog font and the metrics derived from it: base units for dialog-unit conversion, and text widths
// that the list view asks for once per cell when it fits columns to their contents.
#pragma once
#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kvplat::window {

struct BaseUnits {
  int x = 0;
  int y = 0;
};

// 8-point "MS Shell Dlg" at 96 DPI: the base units that Windows lays dialogs out with.
constexpr BaseUnits kWindowsDialogUnits{6, 13};
constexpr int kDialogFontPoints = 8;

// The dialog font is FLTK's Helvetica, whatever sans face fontconfig gives it, 8 points high at the display's
// resolution (FLTK sizes are whole pixels: 11 at 96 dpi, 21 at 192), made a pixel smaller at a time while its
// base units exceed Windows' own at that resolution (6 x 13 at 96 dpi, scaled), so that a dialog takes the
// room its template was designed for and its texts fit their controls. Never below kMinFontSize pixels at
// 96 dpi, scaled.
constexpr int kMinFontSize = 9;
int ChooseDialogFontSize(int dpi, const std::function<BaseUnits(int size)> &unitsAtSize);

// The chosen size in pixels, used by every drawing of dialog text (10 until the front end chooses).
int DialogFontSize();
void SetDialogFontSize(int size);

// Windows' rule: the average width of the 52 Latin letters, rounded, and the font's line height.
BaseUnits ComputeBaseUnits(const std::function<double(std::string_view)> &width, int lineHeight);

// Text widths in pixels. Plain ASCII text is the sum of its characters' advances (the X font renderer
// neither kerns nor shapes it), so each character is measured once; other text is measured whole and kept,
// up to a bound, since the same few strings come back for every row.
class TextWidthCache {
 public:
  explicit TextWidthCache(std::function<double(std::string_view)> measure);
  int Width(std::string_view text);

 private:
  static constexpr size_t kMaxWholeStrings = 4096;
  std::function<double(std::string_view)> measure_;
  std::array<int, 128> ascii_;
  std::unordered_map<std::string, int> whole_;
};

}  // namespace kvplat::window
