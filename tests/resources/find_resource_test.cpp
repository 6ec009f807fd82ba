// Looking resources up as the loader does: by integer (all that MFC asks for), in the language that a
// request falls back to, the error of each miss, and handles that are no resources.
#include <gtest/gtest.h>
#include <windows.h>

#include "kvplat/resources.h"
#include "res_file.h"

namespace {

class ResourceLookup : public testing::Test {
 protected:
  void TearDown() override { kvplat::RegisterModuleResources(nullptr); }
};

TEST_F(ResourceLookup, ByIntegerWithTheErrorOfEachMiss) {
  const kvplat::EmbeddedFile *program = kv_embedded_resources, *fixture = kv_fixture_resources;
  const struct {
    const kvplat::EmbeddedFile *section;
    const char *what;
    int name;
    LPCSTR type;
    DWORD error;        // 0: found
    const char *found;  // the fixture's data that it finds
  } lookups[] = {
      {program, "dialog 102", 102, RT_DIALOG, 0, nullptr},
      {program, "first icon image", 1, RT_ICON, 0, nullptr},
      {program, "last icon image", 9, RT_ICON, 0, nullptr},
      {program, "version", 1, RT_VERSION, 0, nullptr},
      {program, "no dialog 103", 103, RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND, nullptr},
      {program, "no icon image 10", 10, RT_ICON, ERROR_RESOURCE_NAME_NOT_FOUND, nullptr},
      {program, "no menus", 102, RT_MENU, ERROR_RESOURCE_TYPE_NOT_FOUND, nullptr},
      {fixture, "the user's language first", 1, RT_RCDATA, 0, "en-US"},
      {fixture, "else the first language present", 2, RT_RCDATA, 0, "fr-FR only"},
  };
  for (const auto &l : lookups) {
    kvplat::RegisterModuleResources(l.section);
    SetLastError(0);
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCE(l.name), l.type);
    ASSERT_EQ(l.error == 0, found != nullptr) << l.what;
    if (l.error) {
      EXPECT_EQ(l.error, GetLastError()) << l.what;
    } else if (l.found) {
      const char *data = static_cast<const char *>(LockResource(LoadResource(nullptr, found)));
      EXPECT_EQ(l.found, std::string(data, SizeofResource(nullptr, found))) << l.what;
    }
  }
  // Any module handle stands for the executable.
  EXPECT_TRUE(FindResourceA(reinterpret_cast<HMODULE>(0x400000), MAKEINTRESOURCE(1), RT_RCDATA));
}

TEST_F(ResourceLookup, HandlesThatAreNoResourcesAreRefused) {
  kvplat::RegisterModuleResources(kv_embedded_resources);
  HRSRC dialog = FindResourceA(nullptr, MAKEINTRESOURCE(102), RT_DIALOG);
  ASSERT_TRUE(dialog);
  int notAResource = 0;
  HRSRC inside = reinterpret_cast<HRSRC>(const_cast<unsigned char *>(kv_embedded_resources[0].data + 4));
  // An address outside the section, and one inside it that is not a data entry.
  for (HRSRC bogus : {reinterpret_cast<HRSRC>(&notAResource), inside}) {
    SetLastError(0);
    EXPECT_FALSE(LoadResource(nullptr, bogus));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0u, SizeofResource(nullptr, bogus));
  }
  EXPECT_EQ(nullptr, LockResource(nullptr));
}

TEST_F(ResourceLookup, TheSizeOfLoadedData) {
  kvplat::RegisterModuleResources(kv_embedded_resources);
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCE(102), RT_DIALOG);
  ASSERT_TRUE(res);
  const auto *data = static_cast<const uint8_t *>(LockResource(LoadResource(nullptr, res)));
  EXPECT_EQ(SizeofResource(nullptr, res), kvplat::LoadedResourceSize(data));
  EXPECT_EQ(0u, kvplat::LoadedResourceSize(data + 1));
}

}  // namespace
