// The resource section as the build links it: every resource that windres puts into its .res file is in the
// section, in its language, with the same bytes; a damaged section is refused with the reason.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>

#include "kvplat/resources.h"
#include "res_file.h"
#include "rsrc/section.h"

using kvplat::rsrc::ReadResourceSection;
using kvplat::rsrc::SectionEntry;

namespace {

class LinkedSection : public testing::Test {
 protected:
  void TearDown() override { kvplat::RegisterModuleResources(nullptr); }
};

TEST_F(LinkedSection, HoldsWhatWindresPutsIntoItsResFile) {
  const struct {
    const char *script;
    const kvplat::EmbeddedFile *section;
    const char *res;
    std::size_t count;
  } cases[] = {
      // dialog 102, icon group 128 and its nine images, the version
      {"res/kelvorant.rc", kv_embedded_resources, KV_PROGRAM_RES, 12},
      {"tests/resources/fixture.rc", kv_fixture_resources, KV_FIXTURE_RES, 7},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.script);
    const std::vector<ResFileEntry> expected = ReadResFile(c.res);
    EXPECT_EQ(c.count, expected.size());
    const std::vector<uint8_t> bytes = SectionBytes(c.section);
    std::vector<SectionEntry> entries;
    std::string error;
    ASSERT_TRUE(ReadResourceSection(bytes.data(), bytes.size(), &entries, &error)) << error;
    EXPECT_EQ(expected.size(), entries.size());
    for (const ResFileEntry &want : expected) {
      const std::string what = "type " + std::to_string(want.type) + " name " + std::to_string(want.name) +
                               " language " + std::to_string(want.language);
      auto found = std::find_if(entries.begin(), entries.end(), [&](const SectionEntry &e) {
        return e.type == want.type && e.name == want.name && e.language == want.language;
      });
      ASSERT_NE(found, entries.end()) << what;
      const uint8_t *data = bytes.data() + found->dataOffset;
      EXPECT_EQ(want.data, std::vector<uint8_t>(data, data + found->size)) << what;
    }
  }
}

uint32_t U32(const std::vector<uint8_t> &b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
void Put32(std::vector<uint8_t> &b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
// Where entry `index` of the directory at `dir` leads (a directory's offset without its high bit).
uint32_t Target(const std::vector<uint8_t> &b, uint32_t dir, int index) {
  return U32(b, dir + 16 + 8 * index + 4) & 0x7FFFFFFF;
}

TEST(ResourceSection, DamageIsRefusedWithTheReasonAndItsOffset) {
  const std::vector<uint8_t> good = SectionBytes(kv_fixture_resources);
  // The fixture's root: types 3, 10 and 14, entries from offset 16 on. Type 3's first name leads to a
  // language directory, whose first entry leads to a data entry.
  const uint32_t names = Target(good, 0, 0), languages = Target(good, names, 0), data = Target(good, languages, 0);
  const uint32_t size = static_cast<uint32_t>(good.size());
  const struct {
    const char *what;
    std::function<void(std::vector<uint8_t> &)> damage;
    std::string reason;
  } cases[] = {
      {"no room for the root", [](auto &b) { b.resize(15); },
       "a resource directory lies outside the section (offset 0)"},
      {"more entries than the section holds", [](auto &b) { b[14] = b[15] = 0xFF; },
       "a resource directory's entries lie outside the section (offset 0)"},
      {"a type's directory is the root", [](auto &b) { Put32(b, 28, 0x80000000); },
       "a resource directory is reached twice (offset 0)"},
      {"a name", [](auto &b) { b[12] = 1; }, "a resource is given by name (offset 0)"},
      {"types out of order", [](auto &b) { Put32(b, 32, 2); },
       "resource directory entries are out of order (offset 32)"},
      {"an ordinal of 17 bits", [](auto &b) { Put32(b, 24, 0x10003); },
       "a resource ordinal is wider than 16 bits (offset 24)"},
      {"a type that leads to data", [](auto &b) { Put32(b, 28, U32(b, 28) & 0x7FFFFFFF); },
       "a type or name leads to data instead of a directory (offset 24)"},
      {"a fourth level", [&](auto &b) { Put32(b, languages + 20, U32(b, languages + 20) | 0x80000000); },
       "a language leads to a further directory (offset " + std::to_string(languages + 16) + ")"},
      {"data that starts past the end", [&](auto &b) { Put32(b, data, size); },
       "resource data lies outside the section (offset " + std::to_string(data) + ")"},
      {"data that runs past the end", [&](auto &b) { Put32(b, data + 4, size); },
       "resource data lies outside the section (offset " + std::to_string(data) + ")"},
  };
  for (const auto &c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    std::vector<SectionEntry> entries;
    std::string error;
    EXPECT_FALSE(ReadResourceSection(bytes.data(), bytes.size(), &entries, &error)) << c.what;
    EXPECT_EQ(c.reason, error) << c.what;
    EXPECT_TRUE(entries.empty()) << c.what;
  }
}

TEST(ResourceSection, EveryTruncationOfTheProgramsSectionIsRefused) {
  const std::vector<uint8_t> bytes = SectionBytes(kv_embedded_resources);
  std::vector<SectionEntry> entries;
  std::string error;
  ASSERT_TRUE(ReadResourceSection(bytes.data(), bytes.size(), &entries, &error)) << error;
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_FALSE(ReadResourceSection(bytes.data(), n, &entries, &error)) << n << " bytes";
  }
}

TEST_F(LinkedSection, ADamagedSectionLeavesTheModuleWithoutResourcesAndIsSaidOnce) {
  static const std::vector<uint8_t> damaged = [] {
    std::vector<uint8_t> bytes = SectionBytes(kv_fixture_resources);
    bytes.resize(15);
    return bytes;
  }();
  const kvplat::EmbeddedFile table[] = {{".rsrc", damaged.data(), damaged.size()}, {nullptr, nullptr, 0}};
  kvplat::RegisterModuleResources(table);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(FindResourceA(nullptr, MAKEINTRESOURCE(1), RT_RCDATA));
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());
  EXPECT_FALSE(FindResourceA(nullptr, MAKEINTRESOURCE(1), RT_RCDATA));
  EXPECT_EQ("kelvorant: the resource section cannot be read: a resource directory lies outside the section "
            "(offset 0)\n",
            testing::internal::GetCapturedStderr());

  // An image without a .rsrc section has no resources either.
  const kvplat::EmbeddedFile other[] = {{".data", damaged.data(), damaged.size()}, {nullptr, nullptr, 0}};
  kvplat::RegisterModuleResources(other);
  EXPECT_FALSE(FindResourceA(nullptr, MAKEINTRESOURCE(1), RT_RCDATA));
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());
}

}  // namespace
