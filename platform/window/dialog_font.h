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

// The face that Windows draws a typeface with, by its FontSubstitutes ("MS Shell Dlg 2" is Tahoma); the
// typeface itself when it has no substitute. Names compare without regard to case.
std::string SubstituteFace(std::string_view typeface);

// A face's vertical metrics from its OS/2 table, in font units: what Windows' text metrics are made of.
struct FaceMetrics {
  int unitsPerEm = 0;
  int winAscent = 0;
  int winDescent = 0;
};

// Windows' line height (tmHeight) of the face at `pixels` per em: its ascent and descent, each scaled and
// rounded. 0 when the metrics are unknown.
int WindowsLineHeight(const FaceMetrics &metrics, int pixels);

// The face that Windows draws with (or one with its metrics, as Wine's Tahoma) is drawn at the template's
// size, MulDiv(points, dpi, 72) pixels, and its base units are Windows' own. A stand-in for a missing face
// (FLTK's Helvetica, whatever sans face fontconfig gives it) is 8 points high at the display's resolution
// (FLTK sizes are whole pixels: 11 at 96 dpi, 21 at 192), made a pixel smaller at a time while its base
// units exceed Windows' own at that resolution (6 x 13 at 96 dpi, scaled), so that a dialog takes the room
// its template was designed for. Never below kMinFontSize pixels at 96 dpi, scaled.
constexpr int kMinFontSize = 9;
int ChooseDialogFontSize(int dpi, const std::function<BaseUnits(int size)> &unitsAtSize);

// The chosen FLTK font and size in pixels, used by every drawing of dialog text (Helvetica 10 until the front
// end chooses).
int DialogFontSize();
int DialogFontFace();
void SetDialogFont(int fltkFont, int size);

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
