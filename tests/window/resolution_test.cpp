// The display's resolution: Xft.dpi when it is a resolution, else the X server's, else 96 dpi.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "resolution.h"

namespace {

using kvplat::window::ChooseResolution;

TEST(Resolution, XftDpiFirstThenTheServers) {
  struct Case {
    std::optional<std::string> xftDpi;
    int pixels, millimetres;
    int expected;
    bool complains;
  };
  const Case cases[] = {
      {std::nullopt, 1280, 339, 96, false},   // Xvfb -dpi 96
      {std::nullopt, 2560, 339, 192, false},  // Xvfb -dpi 192
      {std::nullopt, 1920, 0, 96, false},     // a server that does not know its size
      {std::nullopt, 1920, 5, 96, false},     // nor one that believes it is 5 mm wide
      {"192", 1280, 339, 192, false},         // the desktop's setting wins over the server's
      {"144.5", 1280, 339, 145, false},
      {"120 ", 2560, 339, 120, false},
      {"480", 1280, 339, 480, false},
      {"abc", 2560, 339, 192, true},  // not a number: the server's
      {"", 1280, 339, 96, true},
      {"96dpi", 1280, 339, 96, true},
      {"0", 1280, 339, 96, true},
      {"-192", 1280, 339, 96, true},
      {"481", 1280, 339, 96, true},
      {"1e9", 1280, 339, 96, true},
      {"nan", 1280, 339, 96, true},
      {"inf", 1280, 339, 96, true},
  };
  for (const Case &c : cases) {
    std::string complaint = "left over";
    std::optional<std::string_view> xft;
    if (c.xftDpi) xft = *c.xftDpi;
    EXPECT_EQ(ChooseResolution(xft, c.pixels, c.millimetres, &complaint), c.expected) << c.xftDpi.value_or("unset");
    EXPECT_EQ(!complaint.empty(), c.complains) << c.xftDpi.value_or("unset") << ": " << complaint;
    if (c.complains) {
      EXPECT_NE(complaint.find("Xft.dpi is \"" + *c.xftDpi + "\""), std::string::npos) << complaint;
      EXPECT_NE(complaint.find(std::to_string(c.expected) + " dpi, the X server's"), std::string::npos) << complaint;
    }
  }
}

TEST(Resolution, ALongValueIsQuotedShort) {
  std::string complaint;
  const std::string value(10000, '9');
  EXPECT_EQ(ChooseResolution(value, 1280, 339, &complaint), 96);
  EXPECT_NE(complaint.find("\"" + std::string(32, '9') + "...\""), std::string::npos) << complaint;
  EXPECT_LT(complaint.size(), 200u);
}

}  // namespace
