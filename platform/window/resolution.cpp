#include "resolution.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "kvplat/frontend.h"

namespace kvplat::window {

namespace {

std::optional<int> InRange(double dpi) {
  if (!std::isfinite(dpi) || dpi < kMinDpi || dpi > kMaxDpi) return std::nullopt;
  return static_cast<int>(std::lround(dpi));
}

std::optional<int> ParseDpi(std::string_view text) {
  std::string copy(text);
  const char *begin = copy.c_str();
  char *end = nullptr;
  errno = 0;
  double value = std::strtod(begin, &end);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (end == begin || errno != 0 || *end != '\0') return std::nullopt;
  return InRange(value);
}

// The value as a message quotes it: an X resource may be of any length.
std::string Quoted(std::string_view value) {
  constexpr size_t kShown = 32;
  if (value.size() <= kShown) return "\"" + std::string(value) + "\"";
  return "\"" + std::string(value.substr(0, kShown)) + "...\"";
}

}  // namespace

int ChooseResolution(std::optional<std::string_view> xftDpi, int widthPixels, int widthMillimetres,
                     std::string *complaint) {
  complaint->clear();
  std::optional<int> server;
  if (widthMillimetres > 0) server = InRange(widthPixels * 25.4 / widthMillimetres);
  const int serverDpi = server.value_or(kDefaultDpi);
  if (!xftDpi) return serverDpi;
  if (std::optional<int> dpi = ParseDpi(*xftDpi)) return *dpi;
  *complaint = "the X resource Xft.dpi is " + Quoted(*xftDpi) + ", not a resolution from " +
               std::to_string(kMinDpi) + " to " + std::to_string(kMaxDpi) + " dpi: the window is drawn at " +
               std::to_string(serverDpi) + " dpi, the X server's";
  return serverDpi;
}

}  // namespace kvplat::window
