// kernel32 against Windows semantics: the current directory, files, errors, modules, MulDiv.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>
#include <thread>

#include "kvplat/errno_map.h"
#include "test_support.h"

namespace {

class ChangeDirectory {
 public:
  explicit ChangeDirectory(const std::string &to) : from_(std::filesystem::current_path()) {
    std::filesystem::current_path(to);
  }
  ~ChangeDirectory() { std::filesystem::current_path(from_); }

 private:
  std::filesystem::path from_;
};

TEST(GetCurrentDirectoryA, FollowsTheBufferSizeRules) {
  kvtest::TempDir dir;
  ChangeDirectory cd(dir.path());
  const DWORD length = static_cast<DWORD>(dir.path().size());
  struct Case {
    DWORD size;
    DWORD result;
    bool copied;
  } cases[] = {
      {0, length + 1, false},           // the size needed, with the terminating zero
      {length, length + 1, false},      // one short: nothing written
      {length + 1, length, true},       // exactly enough: the length without the zero
      {MAX_PATH * 4, length, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.size);
    std::string buffer(MAX_PATH * 4, 'x');
    SetLastError(1234);
    EXPECT_EQ(c.result, GetCurrentDirectoryA(c.size, buffer.data()));
    EXPECT_EQ(1234u, GetLastError());
    EXPECT_EQ(c.copied ? dir.path() : std::string(length + 1, 'x'), buffer.substr(0, length + (c.copied ? 0 : 1)));
    if (c.copied) {
      EXPECT_EQ('\0', buffer[length]);
    }
  }
}

TEST(GetCurrentDirectoryA, FailsWhenTheDirectoryWasRemoved) {
  kvtest::TempDir dir;
  ChangeDirectory cd(dir.path());
  ASSERT_EQ(0, ::mkdir("gone", 0755));
  ASSERT_EQ(0, ::chdir("gone"));
  ASSERT_EQ(0, ::rmdir((dir / "gone").c_str()));
  char buffer[MAX_PATH];
  EXPECT_EQ(0u, GetCurrentDirectoryA(MAX_PATH, buffer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// Each case starts from <DIR>/sub/f.txt holding "old"; paths are written the Windows way.
TEST(CreateFileA, DispositionsAndErrors) {
  const std::string longName(300, 'n');
  struct Case {
    std::string path;
    DWORD access;
    DWORD disposition;
    bool opens;
    DWORD error;            // the last error after the call
    const char *contentAfter;  // of <DIR>/sub/f.txt, or of the new file when the path names one
  } cases[] = {
      {"<DIR>\\sub\\f.txt", GENERIC_READ, OPEN_EXISTING, true, 0, "old"},
      {"<DIR>/sub\\f.txt", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, true, 0, "old"},
      {"<DIR>\\sub\\missing.txt", GENERIC_READ, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"<DIR>\\nodir\\f.txt", GENERIC_READ, OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND, nullptr},
      {"<DIR>\\sub\\f.txt\\x", GENERIC_READ, OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND, nullptr},
      {"<DIR>\\sub", GENERIC_READ, OPEN_EXISTING, false, ERROR_ACCESS_DENIED, nullptr},
      {"<DIR>\\sub\\" + longName, GENERIC_READ, OPEN_EXISTING, false, ERROR_FILENAME_EXCED_RANGE, nullptr},
      {"<DIR>\\sub\\f.txt", GENERIC_WRITE, CREATE_NEW, false, ERROR_FILE_EXISTS, "old"},
      {"<DIR>\\sub\\new.txt", GENERIC_WRITE, CREATE_NEW, true, 0, ""},
      {"<DIR>\\sub\\f.txt", GENERIC_WRITE, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
      {"<DIR>\\sub\\new.txt", GENERIC_WRITE, CREATE_ALWAYS, true, 0, ""},
      {"<DIR>\\sub\\f.txt", GENERIC_WRITE, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
      {"<DIR>\\sub\\new.txt", GENERIC_WRITE, OPEN_ALWAYS, true, 0, ""},
      {"<DIR>\\sub\\f.txt", GENERIC_WRITE, TRUNCATE_EXISTING, true, 0, ""},
      {"<DIR>\\sub\\f.txt", GENERIC_READ, TRUNCATE_EXISTING, false, ERROR_INVALID_PARAMETER, "old"},
      {"<DIR>\\sub\\missing.txt", GENERIC_WRITE, TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"<DIR>\\sub\\f.txt", GENERIC_READ, 0, false, ERROR_INVALID_PARAMETER, "old"},
      {"", GENERIC_READ, OPEN_EXISTING, false, ERROR_PATH_NOT_FOUND, nullptr},
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
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(file));
    }
    if (c.contentAfter) {
      const bool newFile = path.find("new.txt") != std::string::npos;
      EXPECT_EQ(c.contentAfter, kvtest::ReadText(dir / (newFile ? "sub/new.txt" : "sub/f.txt")));
    }
  }
}

TEST(ReadFileWriteFile, TransferBytesAndCheckTheHandle) {
  kvtest::TempDir dir;
  const std::string path = dir / "data.bin";
  HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, out);
  DWORD count = 0;
  EXPECT_TRUE(WriteFile(out, "hello", 5, &count, nullptr));
  EXPECT_EQ(5u, count);
  char buffer[16] = {};
  EXPECT_FALSE(ReadFile(out, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(CloseHandle(out));

  HANDLE in = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, in);
  EXPECT_TRUE(ReadFile(in, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(5u, count);
  EXPECT_EQ("hello", std::string(buffer, count));
  EXPECT_TRUE(ReadFile(in, buffer, sizeof buffer, &count, nullptr));  // end of file: success, no bytes
  EXPECT_EQ(0u, count);
  OVERLAPPED overlapped = {};
  EXPECT_FALSE(ReadFile(in, buffer, sizeof buffer, &count, &overlapped));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(WriteFile(in, "x", 1, &count, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(CloseHandle(in));

  // A closed handle stays invalid.
  EXPECT_FALSE(CloseHandle(in));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(ReadFile(in, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(CloseHandle(nullptr));
}

TEST(Win32ErrorFromErrno, MapsLikeWindows) {
  const std::pair<int, DWORD> cases[] = {
      {ENOENT, ERROR_FILE_NOT_FOUND},  {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {EACCES, ERROR_ACCESS_DENIED},   {EPERM, ERROR_ACCESS_DENIED},
      {EISDIR, ERROR_ACCESS_DENIED},   {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
      {EEXIST, ERROR_FILE_EXISTS},     {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
      {ENOSPC, ERROR_DISK_FULL},       {EROFS, ERROR_WRITE_PROTECT},
      {EPROTO, ERROR_GEN_FAILURE},
  };
  for (const auto &[error, win32] : cases) EXPECT_EQ(win32, kvplat::Win32ErrorFromErrno(error)) << error;
}

TEST(LastError, IsPerThread) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  std::thread other([] {
    EXPECT_EQ(0u, GetLastError());
    SetLastError(ERROR_ACCESS_DENIED);
  });
  other.join();
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(MulDiv, RoundsHalfAwayFromZero) {
  struct Case {
    int number, numerator, denominator, result;
  } cases[] = {
      {1, 1, 2, 1},       {-1, 1, 2, -1},    {3, 1, 2, 2},       {-3, 1, 2, -2},     {5, 1, 3, 2},
      {4, 1, 3, 1},       {-5, 1, 3, -2},    {1, 1, -2, -1},     {-1, -1, -2, -1},   {7, 6, 4, 11},
      {-7, 6, 4, -11},    {6, 13, 8, 10},    {100, 0, 0, -1},    {0, 5, -3, 0},
      {INT_MAX, 1, 1, INT_MAX},              {INT_MAX, 2, 1, -1},                    {INT_MIN, 1, 1, -1},
      {INT_MIN, 1, 2, -1073741824},          {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.result, MulDiv(c.number, c.numerator, c.denominator))
        << c.number << " * " << c.numerator << " / " << c.denominator;
  }
}

TEST(Modules, NameTheExecutable) {
  const std::string exe = std::filesystem::read_symlink("/proc/self/exe");
  const std::string base = std::filesystem::path(exe).filename();
  char buffer[4096];
  EXPECT_EQ(exe.size(), GetModuleFileNameA(nullptr, buffer, sizeof buffer));
  EXPECT_EQ(exe, buffer);

  // Truncated: the buffer size comes back, the text is cut and terminated.
  EXPECT_EQ(5u, GetModuleFileNameA(nullptr, buffer, 5));
  EXPECT_EQ(exe.substr(0, 4), buffer);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

  HMODULE self = GetModuleHandleA(nullptr);
  ASSERT_NE(nullptr, self);
  EXPECT_EQ(self, GetModuleHandleA(base.c_str()));
  std::string shouted = base + ".EXE";
  for (char &c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(self, GetModuleHandleA(shouted.c_str()));
  EXPECT_EQ(exe.size(), GetModuleFileNameA(self, buffer, sizeof buffer));

  EXPECT_EQ(nullptr, GetModuleHandleA("user32.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_EQ(0u, GetModuleFileNameA(reinterpret_cast<HMODULE>(0x1000), buffer, sizeof buffer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_EQ(static_cast<DWORD>(::getpid()), GetCurrentProcessId());
}

}  // namespace
