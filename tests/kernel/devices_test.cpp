// Driver modules in this process: loading and unloading, CreateFileA on devices, and the I/O manager's
// METHOD_BUFFERED requests with their NTSTATUS to Win32 error mapping.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "fake_driver_codes.h"
#include "kelvorant_ioctl.h"
#include "kvplat/kernel.h"
#include "test_support.h"

namespace {

constexpr const char *kService = "FakeService";

HANDLE OpenDevice(const char *path, DWORD access = GENERIC_READ | GENERIC_WRITE) {
  return CreateFileA(path, access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("KV_FAKE_LOG", dir_ / "log");
    ASSERT_EQ(0u, kvplat::LoadDriver(kService, KV_FAKE_DRIVER));
    device_ = OpenDevice("\\\\.\\Kelvorant");
    ASSERT_NE(INVALID_HANDLE_VALUE, device_);
  }
  void TearDown() override {
    CloseHandle(device_);
    kvplat::UnloadDriver(kService);
  }
  kvtest::TempDir dir_;
  kvtest::EnvOverride env_;
  HANDLE device_ = INVALID_HANDLE_VALUE;
};

TEST_F(DeviceTest, DeviceNamesAreCaseInsensitiveAndTakeEitherSeparator) {
  for (const char *path : {"\\\\.\\KELVORANT", "//./kelvorant"}) {
    HANDLE device = OpenDevice(path);
    EXPECT_NE(INVALID_HANDLE_VALUE, device) << path;
    CloseHandle(device);
  }
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDevice("\\\\.\\Nothing"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// The driver completes with a given status and byte count and writes 0xAB over its output.
TEST_F(DeviceTest, CompletionStatusesMapToWin32Errors) {
  struct Case {
    uint32_t status, information;
    DWORD error;     // 0: the call succeeds
    DWORD returned;  // *lpBytesReturned
    DWORD copied;    // bytes of the 16-byte output that were written
  } cases[] = {
      {0x00000000, 8, 0, 8, 8},
      {0x00000000, 64, 0, 64, 16},  // the driver's count is reported; the copy stays in the buffer
      {0x80000005, 16, ERROR_MORE_DATA, 16, 16},  // STATUS_BUFFER_OVERFLOW: a failure that carries data
      {0xC0000001, 16, ERROR_GEN_FAILURE, 0, 0},
      {0xC007001F, 0, 31, 0, 0},                       // NTSTATUS_FROM_WIN32: any Win32 code passes through
      {0xD0000022, 0, ERROR_ACCESS_DENIED, 0, 0},      // 0xD... reads as 0xC...
      {0xE0000042, 0, 0xE0000042, 0, 0},               // customer codes pass through whole
      {0xC0001234, 0, ERROR_MR_MID_NOT_FOUND, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.status);
    FakeCompletion completion = {static_cast<int32_t>(c.status), c.information};
    unsigned char out[16];
    std::memset(out, 0x11, sizeof out);
    DWORD returned = 99;
    SetLastError(0);
    EXPECT_EQ(c.error == 0, DeviceIoControl(device_, kFakeComplete, &completion, sizeof completion, out,
                                            sizeof out, &returned, nullptr) != FALSE);
    EXPECT_EQ(c.error, GetLastError());
    EXPECT_EQ(c.returned, returned);
    for (DWORD i = 0; i < sizeof out; ++i) EXPECT_EQ(i < c.copied ? 0xAB : 0x11, out[i]) << i;
  }
}

TEST_F(DeviceTest, ArgumentsAndHandlesAreChecked) {
  HANDLE noAccess = OpenDevice("\\\\.\\Kelvorant", 0);
  kvtest::WriteText(dir_ / "f", "");
  HANDLE file = CreateFileA((dir_ / "f").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  OVERLAPPED overlapped = {};
  struct Case {
    HANDLE handle;
    DWORD code;
    LPOVERLAPPED overlapped;
    DWORD error;
  } cases[] = {
      {device_, kFakeEcho, nullptr, 0},
      {device_, 0x222FFC, nullptr, ERROR_INVALID_FUNCTION},  // a code the driver does not know
      {device_, kFakeEcho, &overlapped, ERROR_INVALID_PARAMETER},
      {noAccess, kFakeNeedsRead, nullptr, ERROR_ACCESS_DENIED},  // the code demands FILE_READ_ACCESS
      {device_, kFakeNeedsRead, nullptr, 0},
      {file, kFakeEcho, nullptr, ERROR_INVALID_FUNCTION},  // a file's file system has no such control
      {reinterpret_cast<HANDLE>(0x7770), kFakeEcho, nullptr, ERROR_INVALID_HANDLE},
  };
  char buffer[8] = "abc";
  for (const Case &c : cases) {
    SetLastError(0);
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(c.handle, c.code, buffer, 4, buffer, sizeof buffer, &returned, c.overlapped);
    EXPECT_EQ(c.error == 0, ok != FALSE) << std::hex << c.code;
    EXPECT_EQ(c.error, GetLastError()) << std::hex << c.code;
  }
  CloseHandle(noAccess);
  CloseHandle(file);
}

TEST_F(DeviceTest, OpeningAndClosingAHandleReachTheDriver) {
  const std::string started = "entry\n\\Registry\\Machine\\System\\CurrentControlSet\\Services\\FakeService\ncreate\n";
  EXPECT_EQ(started, kvtest::ReadText(dir_ / "log"));
  HANDLE second = OpenDevice("\\\\.\\Kelvorant");
  ASSERT_NE(INVALID_HANDLE_VALUE, second);
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_EQ(started + "create\ncleanup\nclose\n", kvtest::ReadText(dir_ / "log"));
}

TEST_F(DeviceTest, UnloadingDeletesTheDeviceUnderOpenHandles) {
  EXPECT_EQ(0u, kvplat::UnloadDriver(kService));
  EXPECT_EQ("entry\n\\Registry\\Machine\\System\\CurrentControlSet\\Services\\FakeService\ncreate\nunload\n",
            kvtest::ReadText(dir_ / "log"));
  char buffer[4] = {};
  DWORD returned = 5;
  EXPECT_FALSE(DeviceIoControl(device_, kFakeEcho, buffer, 4, buffer, 4, &returned, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DEV_NOT_EXIST), GetLastError());
  EXPECT_EQ(0u, returned);
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDevice("\\\\.\\Kelvorant"));
  std::string why;
  EXPECT_FALSE(kvplat::SendMachineCommand("ping", &why));
  EXPECT_EQ("no driver serves \\\\.\\Kelvorant in this process", why);
}

// The test port is the driver's private control code, sent by the kernel itself; from user mode it is
// unknown, and it is not traced.
TEST_F(DeviceTest, MachinePortReachesTheDriverFromTheKernelOnly) {
  std::string why;
  EXPECT_TRUE(kvplat::SendMachineCommand("ping", &why));
  EXPECT_FALSE(kvplat::SendMachineCommand("reset 02:00.0", &why));
  EXPECT_EQ("unknown command: reset 02:00.0", why);
  char command[] = "ping";
  DWORD returned = 0;
  EXPECT_FALSE(DeviceIoControl(device_, kvsys::IOCTL_KELVORANT_TEST_PORT, command, 4, command, sizeof command,
                               &returned, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
}

// Files that are no driver, and drivers that refuse to start, are shown end to end in tests/e2e/faults_test.cpp.
TEST(LoadDriver, OneDriverPerServiceImageAndDevice) {
  kvtest::TempDir dir;
  kvtest::CopyFile(KV_FAKE_DRIVER, dir / "copy.sys");
  // One service, one driver; one image, one service; one device name, one device.
  ASSERT_EQ(0u, kvplat::LoadDriver("first", KV_FAKE_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING), kvplat::LoadDriver("FIRST", KV_FAKE_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING), kvplat::LoadDriver("second", KV_FAKE_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), kvplat::LoadDriver("second", dir / "copy.sys"));
  EXPECT_EQ(0u, kvplat::UnloadDriver("first"));
}

}  // namespace
