#include "dialog_font.h"

#include <windows.h>

#include <FL/Enumerations.H>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "kvplat/frontend.h"

namespace kvplat::window {

BaseUnits ComputeBaseUnits(const std::function<double(std::string_view)> &width, int lineHeight) {
  static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  double total = width(kLetters);
  return BaseUnits{static_cast<int>(std::lround(total / static_cast<double>(kLetters.size()))), lineHeight};
}

namespace {

int g_fontFace = FL_HELVETICA;
int g_fontSize = 10;

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

// The FontSubstitutes entries of Windows 2000 and later for the dialog fonts.
struct Substitute {
  std::string_view typeface;
  std::string_view face;
};
constexpr Substitute kFontSubstitutes[] = {
    {"MS Shell Dlg", "MS Sans Serif"},
    {"MS Shell Dlg 2", "Tahoma"},
};

}  // namespace

std::string SubstituteFace(std::string_view typeface) {
  for (const Substitute &s : kFontSubstitutes)
    if (SameName(s.typeface, typeface)) return std::string(s.face);
  return std::string(typeface);
}

int WindowsLineHeight(const FaceMetrics &metrics, int pixels) {
  if (metrics.unitsPerEm <= 0) return 0;
  auto scaled = [&](int units) {
    return static_cast<int>(std::lround(static_cast<double>(units) * pixels / metrics.unitsPerEm));
  };
  return scaled(metrics.winAscent) + scaled(metrics.winDescent);
}

int ChooseDialogFontSize(int dpi, const std::function<BaseUnits(int size)> &unitsAtSize) {
  constexpr int kPointsPerInch = 72;
  const int largest = MulDiv(kDialogFontPoints, dpi, kPointsPerInch);
  const int smallest = MulDiv(kMinFontSize, dpi, kDefaultDpi);
  const BaseUnits limit{MulDiv(kWindowsDialogUnits.x, dpi, kDefaultDpi), MulDiv(kWindowsDialogUnits.y, dpi, kDefaultDpi)};
  for (int size = largest; size > smallest; --size) {
    BaseUnits units = unitsAtSize(size);
    if (units.x <= limit.x && units.y <= limit.y) return size;
  }
  return smallest;
}

int DialogFontSize() { return g_fontSize; }
int DialogFontFace() { return g_fontFace; }
void SetDialogFont(int fltkFont, int size) {
  g_fontFace = fltkFont;
  g_fontSize = size;
}

TextWidthCache::TextWidthCache(std::function<double(std::string_view)> measure) : measure_(std::move(measure)) {
  ascii_.fill(-1);
}

namespace {
int RoundWidth(double w) { return static_cast<int>(std::lround(w)); }
}  // namespace

int TextWidthCache::Width(std::string_view text) {
  bool ascii = true;
  for (unsigned char c : text) ascii = ascii && c >= 32 && c < 128;
  if (ascii) {
    int sum = 0;
    for (unsigned char c : text) {
      if (ascii_[c] < 0) ascii_[c] = RoundWidth(measure_(std::string_view(reinterpret_cast<const char *>(&c), 1)));
      sum += ascii_[c];
    }
    return sum;
  }
  std::string key(text);
  if (auto it = whole_.find(key); it != whole_.end()) return it->second;
  int width = RoundWidth(measure_(text));
  if (whole_.size() >= kMaxWholeStrings) whole_.clear();
  whole_.emplace(std::move(key), width);
  return width;
}

}  // namespace kvplat::window
