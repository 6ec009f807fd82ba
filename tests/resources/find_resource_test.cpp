// Looking resources up as the loader does: integer names (all that MFC asks for), "#N" and strings, the
// language that a request falls back to, the error of each miss, and handles that are no resources.
#include <gtest/gtest.h>
#include <windows.h>

#include "kvplat/dlgtemplate.h"
#include "kvplat/resources.h"
#include "res_file.h"

namespace {

class ResourceLookup : public testing::Test {
 protected:
  void TearDown() override { kvplat::RegisterModuleResources(nullptr); }
};

struct Lookup {
  const char *what;
  LPCSTR name;
  LPCSTR type;
  WORD language;
  DWORD error;        // 0: found
  const char *found;  // the fixture's data that it finds
};

TEST_F(ResourceLookup, ProgramResourcesByIntegerAndNumberSign) {
  kvplat::RegisterModuleResources(kv_embedded_resources);
  const Lookup lookups[] = {
      {"dialog 102", MAKEINTRESOURCE(102), RT_DIALOG, 0, 0, nullptr},
      {"\"#102\"", "#102", RT_DIALOG, 0, 0, nullptr},
      {"first icon image", MAKEINTRESOURCE(1), RT_ICON, 0, 0, nullptr},
      {"last icon image", MAKEINTRESOURCE(9), RT_ICON, 0, 0, nullptr},
      {"version", MAKEINTRESOURCE(1), RT_VERSION, 0, 0, nullptr},
      {"no dialog 103", MAKEINTRESOURCE(103), RT_DIALOG, 0, ERROR_RESOURCE_NAME_NOT_FOUND, nullptr},
      {"no icon image 10", MAKEINTRESOURCE(10), RT_ICON, 0, ERROR_RESOURCE_NAME_NOT_FOUND, nullptr},
      {"\"#\" without digits", "#", RT_DIALOG, 0, ERROR_RESOURCE_NAME_NOT_FOUND, nullptr},
      {"no menus", MAKEINTRESOURCE(102), RT_MENU, 0, ERROR_RESOURCE_TYPE_NOT_FOUND, nullptr},
  };
  for (const Lookup &l : lookups) {
    SetLastError(0);
    HRSRC found = FindResourceA(nullptr, l.name, l.type);
    EXPECT_EQ(l.error == 0, found != nullptr) << l.what;
    if (l.error) {
      EXPECT_EQ(l.error, GetLastError()) << l.what;
    } else if (found) {
      EXPECT_GT(SizeofResource(nullptr, found), 0u) << l.what;
    }
  }
  // Any module handle stands for the executable.
  EXPECT_TRUE(FindResourceA(reinterpret_cast<HMODULE>(0x400000), MAKEINTRESOURCE(102), RT_DIALOG));
}

TEST_F(ResourceLookup, LanguagesAndNamesOfTheFixture) {
  kvplat::RegisterModuleResources(kv_fixture_resources);
  const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
  const Lookup lookups[] = {
      {"a neutral request takes the user's language", MAKEINTRESOURCE(1), RT_RCDATA, neutral, 0, "en-US"},
      {"the language asked for", MAKEINTRESOURCE(1), RT_RCDATA, german, 0, "de-DE"},
      {"else its primary language", MAKEINTRESOURCE(1), RT_RCDATA, MAKELANGID(LANG_GERMAN, 2), 0, "de"},
      {"else the neutral language", MAKEINTRESOURCE(3), RT_RCDATA, german, 0, "neutral"},
      {"never another language", MAKEINTRESOURCE(2), RT_RCDATA, german, ERROR_RESOURCE_LANG_NOT_FOUND, nullptr},
      {"but the first for a neutral request", MAKEINTRESOURCE(2), RT_RCDATA, neutral, 0, "fr-FR only"},
      {"names in any case", "greeting", "text", neutral, 0, "hello"},
      {"an ordinal of a named type", "#7", "Text", neutral, 0, "seven"},
      {"no such named type", MAKEINTRESOURCE(1), "TEXTS", neutral, ERROR_RESOURCE_TYPE_NOT_FOUND, nullptr},
      {"no such name", "GREETINGS", "TEXT", neutral, ERROR_RESOURCE_NAME_NOT_FOUND, nullptr},
  };
  for (const Lookup &l : lookups) {
    SetLastError(0);
    HRSRC found = FindResourceExA(nullptr, l.type, l.name, l.language);
    if (l.error) {
      EXPECT_FALSE(found) << l.what;
      EXPECT_EQ(l.error, GetLastError()) << l.what;
      continue;
    }
    ASSERT_TRUE(found) << l.what << ": error " << GetLastError();
    const char *data = static_cast<const char *>(LockResource(LoadResource(nullptr, found)));
    EXPECT_EQ(l.found, std::string(data, SizeofResource(nullptr, found))) << l.what;
  }
}

TEST_F(ResourceLookup, ModuleWithoutResources) {
  kvplat::RegisterModuleResources(nullptr);
  EXPECT_FALSE(FindResourceA(nullptr, MAKEINTRESOURCE(102), RT_DIALOG));
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());
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

TEST_F(ResourceLookup, LoadedDataStaysValidWhenAnotherSectionIsRegistered) {
  kvplat::RegisterModuleResources(kv_embedded_resources);
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCE(102), RT_DIALOG);
  ASSERT_TRUE(res);
  const void *data = LockResource(LoadResource(nullptr, res));
  DWORD size = SizeofResource(nullptr, res);
  kvplat::RegisterModuleResources(kv_fixture_resources);
  EXPECT_FALSE(FindResourceA(nullptr, MAKEINTRESOURCE(102), RT_DIALOG));
  EXPECT_TRUE(FindResourceA(nullptr, MAKEINTRESOURCE(3), RT_RCDATA));
  EXPECT_EQ(data, LockResource(LoadResource(nullptr, res)));
  EXPECT_EQ(size, SizeofResource(nullptr, res));
  EXPECT_EQ(size, kvplat::LoadedResourceSize(data));
}

}  // namespace
