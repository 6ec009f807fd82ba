// kernel32 against Windows semantics where the program and MFC rely on it: the current directory, opening
// files, module names.
#include <gtest/gtest.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

TEST(GetCurrentDirectoryA, FollowsTheBufferSizeRules) {
  kvtest::TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const DWORD length = static_cast<DWORD>(dir.path().size());
  struct Case {
    DWORD size, result;
    bool copied;
  } cases[] = {
      {0, length + 1, false},  // too small: the size needed with the zero, and the buffer untouched
      {length, length + 1, false},
      {length + 1, length, true},  // enough: the length without the zero
  };
  for (const Case &c : cases) {
    std::string buffer(length + 8, 'x');
    SetLastError(1234);
    EXPECT_EQ(c.result, GetCurrentDirectoryA(c.size, buffer.data())) << c.size;
    EXPECT_EQ(1234u, GetLastError());
    EXPECT_EQ(c.copied ? dir.path() + '\0' : std::string(length + 1, 'x'), buffer.substr(0, length + 1)) << c.size;
  }
  std::filesystem::current_path(previous);
}

// Each case starts from <DIR>/sub/f.txt holding "old"; paths are written the Windows way. The program opens
// its driver file with OPEN_EXISTING (and its device with CREATE_ALWAYS): files are only read.
TEST(CreateFileA, DispositionsAndErrors) {
  struct Case {
    std::string path;
    DWORD access, disposition;
    bool opens;
    DWORD error;                 // the last error after the call
    const char *fileAfter;       // the content of the file the path names, when it exists
  } cases[] = {
      {"<DIR>\\sub\\f.txt", GENERIC_READ, OPEN_EXISTING, true, 0, "old"},
      {"<DIR>\\sub\\missing", GENERIC_READ, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"<DIR>\\nodir\\f.txt", GENERIC_READ, OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND, nullptr},
      {"<DIR>\\sub\\f.txt\\x", GENERIC_READ, OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND, nullptr},
      {"<DIR>\\sub", GENERIC_READ, OPEN_EXISTING, false, ERROR_ACCESS_DENIED, nullptr},
      {"<DIR>\\" + std::string(300, 'n'), GENERIC_READ, OPEN_EXISTING, false, ERROR_FILENAME_EXCED_RANGE, nullptr},
      {"<DIR>\\sub\\f.txt", GENERIC_READ, 0, false, ERROR_INVALID_PARAMETER, "old"},
  };
  for (const Case &c : cases) {
    kvtest::TempDir dir;
    const std::string path = kvtest::WithDir(c.path, dir.path());
    SCOPED_TRACE(path + " disposition " + std::to_string(c.disposition));
    std::filesystem::create_directory(dir / "sub");
    kvtest::WriteText(dir / "sub/f.txt", "old");
    SetLastError(1234);
    HANDLE file = CreateFileA(path.c_str(), c.access, 0, nullptr, c.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(c.opens, file != INVALID_HANDLE_VALUE);
    EXPECT_EQ(c.error, GetLastError());
    CloseHandle(file);
    if (c.fileAfter) {
      std::string linuxPath = path;
      std::replace(linuxPath.begin(), linuxPath.end(), '\\', '/');
      EXPECT_EQ(c.fileAfter, kvtest::ReadText(linuxPath));
    }
  }
}

TEST(Modules, NameTheExecutable) {
  const std::string exe = std::filesystem::read_symlink("/proc/self/exe");
  char buffer[4096];
  EXPECT_EQ(exe.size(), GetModuleFileNameA(nullptr, buffer, sizeof buffer));
  EXPECT_EQ(exe, buffer);
  EXPECT_EQ(5u, GetModuleFileNameA(nullptr, buffer, 5));  // truncated: the size back, the text terminated
  EXPECT_EQ(exe.substr(0, 4), buffer);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(0u, GetModuleFileNameA(reinterpret_cast<HMODULE>(1), buffer, sizeof buffer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

}  // namespace
