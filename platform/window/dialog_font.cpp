#include "dialog_font.h"

#include <windows.h>

#include <cmath>

#include "kvplat/frontend.h"

namespace kvplat::window {

BaseUnits ComputeBaseUnits(const std::function<double(std::string_view)> &width, int lineHeight) {
  static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  double total = width(kLetters);
  return BaseUnits{static_cast<int>(std::lround(total / static_cast<double>(kLetters.size()))), lineHeight};
}

namespace {

int g_fontSize = 10;

}  // namespace

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
void SetDialogFontSize(int size) { g_fontSize = size; }

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
