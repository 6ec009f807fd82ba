// Looking resources up by integer names (all that MFC asks for) and "#N", and the errors of each miss.
#include <gtest/gtest.h>
#include <windows.h>

#include "kvplat/dlgtemplate.h"
#include "kvplat/resources.h"
#include "script_files.h"

namespace {

class ResourceLookup : public testing::Test {
 protected:
  void SetUp() override { files_ = ScriptFiles::Program(); }
  void TearDown() override { kvplat::RegisterModuleResources(nullptr); }
  ScriptFiles files_;
};

struct Lookup {
  const char *what;
  LPCSTR name;
  LPCSTR type;
  DWORD error;  // 0: found
};

TEST_F(ResourceLookup, ProgramResourcesByIntegerStringAndNumberSign) {
  files_.Register();
  const Lookup lookups[] = {
      {"dialog 102", MAKEINTRESOURCE(102), RT_DIALOG, 0},
      {"\"#102\"", "#102", RT_DIALOG, 0},
      {"first icon image", MAKEINTRESOURCE(1), RT_ICON, 0},
      {"last icon image", MAKEINTRESOURCE(9), RT_ICON, 0},
      {"version", MAKEINTRESOURCE(1), RT_VERSION, 0},
      {"no dialog 103", MAKEINTRESOURCE(103), RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"no icon image 10", MAKEINTRESOURCE(10), RT_ICON, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"\"#\" without digits", "#", RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"no menus", MAKEINTRESOURCE(102), RT_MENU, ERROR_RESOURCE_TYPE_NOT_FOUND},
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

TEST_F(ResourceLookup, ModuleWithoutResources) {
  kvplat::RegisterModuleResources(nullptr);
  EXPECT_FALSE(FindResourceA(nullptr, MAKEINTRESOURCE(102), RT_DIALOG));
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());
}

TEST_F(ResourceLookup, HandlesThatAreNoResourcesAreRefused) {
  files_.Register();
  int notAResource = 0;
  HRSRC bogus = reinterpret_cast<HRSRC>(&notAResource);
  EXPECT_FALSE(LoadResource(nullptr, bogus));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(0u, SizeofResource(nullptr, bogus));
  EXPECT_EQ(nullptr, LockResource(nullptr));
}

TEST_F(ResourceLookup, LoadedDataStaysValidWhenAnotherTableIsRegistered) {
  files_.Register();
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCE(102), RT_DIALOG);
  ASSERT_TRUE(res);
  const void *data = LockResource(LoadResource(nullptr, res));
  DWORD size = SizeofResource(nullptr, res);
  ScriptFiles other;
  other.Add("o.rc", "5 DIALOG 0,0,1,1\nBEGIN\nEND\n").Register();
  EXPECT_FALSE(FindResourceA(nullptr, MAKEINTRESOURCE(102), RT_DIALOG));
  EXPECT_TRUE(FindResourceA(nullptr, MAKEINTRESOURCE(5), RT_DIALOG));
  EXPECT_EQ(data, LockResource(LoadResource(nullptr, res)));
  EXPECT_EQ(size, kvplat::LoadedResourceSize(data));
}

}  // namespace
