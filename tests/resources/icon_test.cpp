// Icon images decoded pixel by pixel, and LoadIconA on the program's icon and on the fixture's groups.
#include <gtest/gtest.h>
#include <windows.h>

#include "byte_writer.h"
#include "kvplat/resources.h"
#include "res_file.h"
#include "resource.h"
#include "rsrc/icon_formats.h"

using kvplat::IconImage;
using kvplat::rsrc::DecodeIconImage;

namespace {

// An icon image as a resource compiler stores it: BITMAPINFOHEADER (height doubled for the mask), the
// palette, the colour rows and the mask rows, both bottom-up and padded to 32 bits. `pixels` are palette
// indexes or 0xAARRGGBB for 32 bits; `mask` holds 1 for transparent; both top row first.
std::vector<uint8_t> Dib(int w, int h, int bpp, const std::vector<uint32_t> &palette,
                         const std::vector<uint32_t> &pixels, const std::vector<int> &mask) {
  ByteWriter out;
  for (uint32_t v : {40u, static_cast<uint32_t>(w), static_cast<uint32_t>(2 * h)}) out.U32(v);
  out.U16(1), out.U16(static_cast<uint16_t>(bpp));
  for (uint32_t v : {0u, 0u, 0u, 0u, static_cast<uint32_t>(palette.size()), 0u}) out.U32(v);
  for (uint32_t c : palette) out.U32(c);
  auto rows = [&](int bits, auto value) {
    for (int y = h - 1; y >= 0; --y) {
      std::vector<uint8_t> row(static_cast<size_t>((w * bits + 31) / 32) * 4, 0);
      for (int x = 0; x < w; ++x) {
        uint32_t v = value(y * w + x);
        if (bits >= 8) {
          for (int b = 0; b < bits / 8; ++b) row[x * bits / 8 + b] = static_cast<uint8_t>(v >> (8 * b));
        } else {
          int shift = 8 - bits - (x * bits) % 8;
          row[x * bits / 8] |= static_cast<uint8_t>(v << shift);
        }
      }
      out.Bytes(row.data(), row.size());
    }
  };
  rows(bpp, [&](int i) { return pixels[i]; });
  rows(1, [&](int i) { return static_cast<uint32_t>(mask[i]); });
  return out.Take();
}

struct DecodeCase {
  const char *name;
  std::vector<uint8_t> image;
  int width, height;
  std::vector<uint32_t> argb;  // top row first
};

// Tests are listed by the case's name.
void PrintTo(const DecodeCase &c, std::ostream *os) { *os << c.name; }

std::vector<DecodeCase> DecodeCases() {
  const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  return {
      {"FourBitsRowsBottomUpNibblesHighFirst",
       Dib(3, 2, 4, palette, {1, 2, 3, 0, 1, 2}, {0, 0, 1, 0, 0, 0}), 3, 2,
       {0xFFFF0000, 0xFF00FF00, 0x00000000, 0xFF000000, 0xFFFF0000, 0xFF00FF00}},
      {"EightBitsIndexPastThePaletteIsBlack",
       Dib(5, 1, 8, {0x102030, 0x405060, 0x708090}, {0, 1, 2, 200, 1}, {0, 0, 0, 0, 1}), 5, 1,
       {0xFF102030, 0xFF405060, 0xFF708090, 0xFF000000, 0x00000000}},
      {"MaskAcrossAByte",
       Dib(9, 1, 8, {0x000000, 0xFFFFFF}, {1, 0, 0, 0, 0, 0, 0, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 1, 0}), 9, 1,
       {0xFFFFFFFF, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0x00000000,
        0xFFFFFFFF}},
      {"ThirtyTwoBitsAlphaWinsOverTheMask",
       Dib(3, 1, 32, {}, {0x80FF0000, 0xFF00FF00, 0x000000FF}, {1, 1, 0}), 3, 1,
       {0x80FF0000, 0xFF00FF00, 0x000000FF}},
      {"ThirtyTwoBitsWithoutAlphaUseTheMask", Dib(3, 1, 32, {}, {0x00FF0000, 0x0000FF00, 0x000000FF}, {0, 1, 0}), 3,
       1, {0xFFFF0000, 0x00000000, 0xFF0000FF}},
  };
}

class IconDecoding : public testing::TestWithParam<DecodeCase> {};

TEST_P(IconDecoding, PixelsAndTransparency) {
  const DecodeCase &c = GetParam();
  IconImage image;
  std::string error;
  ASSERT_TRUE(DecodeIconImage(c.image.data(), c.image.size(), &image, &error)) << error;
  EXPECT_EQ(c.width, image.width);
  EXPECT_EQ(c.height, image.height);
  EXPECT_EQ(c.argb, image.argb);
}

TEST_P(IconDecoding, EveryTruncationIsRefused) {
  const DecodeCase &c = GetParam();
  for (std::size_t n = 0; n < c.image.size(); ++n) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[n + 1]);
    std::copy(c.image.begin(), c.image.begin() + static_cast<std::ptrdiff_t>(n), exact.get());
    IconImage image;
    EXPECT_FALSE(DecodeIconImage(exact.get(), n, &image, nullptr)) << n << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Images, IconDecoding, testing::ValuesIn(DecodeCases()),
                         [](const testing::TestParamInfo<DecodeCase> &info) { return std::string(info.param.name); });

TEST(IconImageFormat, UnsupportedImagesAreRefusedWithAReason) {
  auto with = [](std::size_t offset, uint32_t value, int bytes) {
    std::vector<uint8_t> image = Dib(4, 4, 4, {0, 0, 0, 0}, std::vector<uint32_t>(16, 1), std::vector<int>(16, 0));
    for (int b = 0; b < bytes; ++b) image[offset + b] = static_cast<uint8_t>(value >> (8 * b));
    return image;
  };
  const struct {
    const char *what;
    std::vector<uint8_t> image;
    const char *reason;
  } cases[] = {
      {"PNG", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13}, "PNG-compressed icon images are not supported"},
      {"zero width", with(4, 0, 4), "bad icon size"},
      {"too wide", with(4, 257, 4), "bad icon size"},
      {"two planes", with(12, 2, 2), "unsupported bitmap format"},
      {"16 bits", with(14, 16, 2), "unsupported colour depth"},
      {"24 bits", with(14, 24, 2), "unsupported colour depth"},
      {"compressed", with(16, 2, 4), "unsupported bitmap format"},
      {"palette larger than the depth allows", with(32, 17, 4), "bad palette size"},
      {"header size past the data", with(0, 4000, 4), "not a bitmap header"},
  };
  for (const auto &c : cases) {
    IconImage image;
    std::string error;
    EXPECT_FALSE(DecodeIconImage(c.image.data(), c.image.size(), &image, &error)) << c.what;
    EXPECT_EQ(c.reason, error) << c.what;
  }
}

class ProgramIcon : public testing::Test {
 protected:
  void TearDown() override { kvplat::RegisterModuleResources(nullptr); }
  HINSTANCE Instance() { return reinterpret_cast<HINSTANCE>(0x400000); }
};

TEST_F(ProgramIcon, LoadIconDecodesEveryImage) {
  kvplat::RegisterModuleResources(kv_embedded_resources);
  HICON icon = LoadIconA(Instance(), MAKEINTRESOURCE(IDR_MAINFRAME));
  ASSERT_TRUE(icon) << GetLastError();
  const kvplat::IconState *state = kvplat::IconFromHandle(icon);
  ASSERT_TRUE(state);
  ASSERT_EQ(9u, state->images.size());
  const int sizes[] = {48, 32, 16};  // at 4, 8 and 32 bits
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(sizes[i % 3], state->images[i].width) << i;
    EXPECT_EQ(sizes[i % 3], state->images[i].height) << i;
  }
  // Shared: the same handle again.
  EXPECT_EQ(icon, LoadIconA(Instance(), MAKEINTRESOURCE(IDR_MAINFRAME)));
}

TEST_F(ProgramIcon, MissingIconsAndHandlesThatAreNoIcons) {
  kvplat::RegisterModuleResources(kv_embedded_resources);
  EXPECT_FALSE(LoadIconA(Instance(), MAKEINTRESOURCE(129)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
  int notAnIcon = 0;
  HICON bogus = reinterpret_cast<HICON>(&notAnIcon);
  EXPECT_EQ(nullptr, kvplat::IconFromHandle(bogus));
  EXPECT_EQ(nullptr, kvplat::IconFromHandle(nullptr));
}

TEST_F(ProgramIcon, ImagesThatCannotBeDecodedAreLeftOut) {
  kvplat::RegisterModuleResources(kv_fixture_resources);
  testing::internal::CaptureStderr();
  HICON mixed = LoadIconA(Instance(), MAKEINTRESOURCE(20));
  EXPECT_EQ("kelvorant: icon 20, image 21: PNG-compressed icon images are not supported\n",
            testing::internal::GetCapturedStderr());
  ASSERT_TRUE(mixed);
  ASSERT_EQ(1u, kvplat::IconFromHandle(mixed)->images.size());
  EXPECT_EQ((std::vector<uint32_t>{0xFF123456u}), kvplat::IconFromHandle(mixed)->images[0].argb);

  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadIconA(Instance(), MAKEINTRESOURCE(23)));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), GetLastError());
}

}  // namespace
