// Driver modules in this process: loading and unloading, CreateFileA on devices, and the I/O manager's
// METHOD_BUFFERED requests with their NTSTATUS to Win32 error mapping.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "fake_driver_codes.h"
#include "kvplat/io_manager.h"
#include "kvplat/machine_port.h"
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
  }
  void TearDown() override { kvplat::UnloadDriver(kService); }
  kvtest::TempDir dir_;
  kvtest::EnvOverride env_;
};

TEST_F(DeviceTest, DeviceNamesAreCaseInsensitiveAndTakeEitherSeparator) {
  const std::pair<const char *, bool> cases[] = {
      {"\\\\.\\Kelvorant", true}, {"\\\\.\\KELVORANT", true}, {"//./kelvorant", true},
      {"\\\\.\\Nothing", false},  {"\\\\.\\", false},
  };
  for (const auto &[path, opens] : cases) {
    HANDLE device = OpenDevice(path);
    EXPECT_EQ(opens, device != INVALID_HANDLE_VALUE) << path;
    if (device != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(device));
    } else {
      EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError()) << path;
    }
  }
}

TEST_F(DeviceTest, ReadConfigComesBackBuffered) {
  HANDLE device = OpenDevice("\\\\.\\Kelvorant");
  ASSERT_NE(INVALID_HANDLE_VALUE, device);
  unsigned char request[272] = {};
  request[0] = 7;  // bus: the I/O manager hands the input back where the driver leaves it alone
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(device, kFakeReadConfig, request, sizeof request, request, sizeof request, &returned,
                              nullptr));
  EXPECT_EQ(272u, returned);
  EXPECT_EQ(7, request[0]);
  EXPECT_EQ(255, request[12 + 255]);
  EXPECT_EQ(1, request[268]);
  CloseHandle(device);
}

// The driver completes with a given status and byte count and writes 0xAB over its output.
TEST_F(DeviceTest, CompletionStatusesMapToWin32Errors) {
  struct Case {
    uint32_t status;
    uint32_t information;
    BOOL result;
    DWORD error;     // when the call fails
    DWORD returned;  // *lpBytesReturned
    DWORD copied;    // bytes of the 16-byte output that were written
  } cases[] = {
      {0x00000000, 8, TRUE, 0, 8, 8},
      {0x00000000, 64, TRUE, 0, 64, 16},  // the count is reported as the driver set it; the copy is bounded
      {0x40000000, 4, TRUE, 0, 4, 4},     // informational
      {0x80000005, 16, FALSE, ERROR_MORE_DATA, 16, 16},  // STATUS_BUFFER_OVERFLOW: data and a failure
      {0xC0000001, 16, FALSE, ERROR_GEN_FAILURE, 0, 0},
      {0xC000000D, 16, FALSE, ERROR_INVALID_PARAMETER, 0, 0},
      {0xC0000010, 0, FALSE, ERROR_INVALID_FUNCTION, 0, 0},
      {0xC0000182, 0, FALSE, ERROR_INVALID_PARAMETER, 0, 0},  // STATUS_DEVICE_CONFIGURATION_ERROR
      {0xC00000C0, 0, FALSE, ERROR_DEV_NOT_EXIST, 0, 0},
      {0xC007001F, 0, FALSE, 31, 0, 0},      // NTSTATUS_FROM_WIN32(ERROR_GEN_FAILURE)
      {0xC0070002, 0, FALSE, 2, 0, 0},
      {0xC0070461, 0, FALSE, 1121, 0, 0},    // any Win32 code passes through
      {0xD0000022, 0, FALSE, ERROR_ACCESS_DENIED, 0, 0},
      {0xE0000042, 0, FALSE, 0xE0000042, 0, 0},  // customer codes pass through whole
      {0xC0001234, 0, FALSE, ERROR_MR_MID_NOT_FOUND, 0, 0},
  };
  HANDLE device = OpenDevice("\\\\.\\Kelvorant");
  ASSERT_NE(INVALID_HANDLE_VALUE, device);
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.status);
    FakeCompletion completion = {static_cast<int32_t>(c.status), c.information};
    unsigned char out[16];
    std::memset(out, 0x11, sizeof out);
    DWORD returned = 99;
    SetLastError(0);
    EXPECT_EQ(c.result,
              DeviceIoControl(device, kFakeComplete, &completion, sizeof completion, out, sizeof out, &returned, nullptr));
    EXPECT_EQ(c.result ? 0u : c.error, GetLastError());
    EXPECT_EQ(c.returned, returned);
    for (DWORD i = 0; i < sizeof out; ++i) EXPECT_EQ(i < c.copied ? 0xAB : 0x11, out[i]) << i;
  }
  CloseHandle(device);
}

TEST_F(DeviceTest, ArgumentsAndHandlesAreChecked) {
  HANDLE device = OpenDevice("\\\\.\\Kelvorant");
  HANDLE noAccess = OpenDevice("\\\\.\\Kelvorant", 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, device);
  HANDLE file = CreateFileA((dir_ / "f").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  char buffer[8] = "abc";
  DWORD returned = 0;
  OVERLAPPED overlapped = {};
  struct Case {
    HANDLE handle;
    DWORD code;
    LPOVERLAPPED overlapped;
    DWORD error;
  } cases[] = {
      {device, kFakeEcho, nullptr, 0},
      {device, 0x222FFC, nullptr, ERROR_INVALID_FUNCTION},  // a code the driver does not know
      {device, kFakeEcho, &overlapped, ERROR_INVALID_PARAMETER},
      {noAccess, kFakeNeedsRead, nullptr, ERROR_ACCESS_DENIED},  // the code demands FILE_READ_ACCESS
      {device, kFakeNeedsRead, nullptr, 0},
      {file, kFakeEcho, nullptr, ERROR_INVALID_FUNCTION},  // a file's file system has no such control
      {reinterpret_cast<HANDLE>(0x7770), kFakeEcho, nullptr, ERROR_INVALID_HANDLE},
  };
  for (const Case &c : cases) {
    SetLastError(0);
    BOOL ok = DeviceIoControl(c.handle, c.code, buffer, 4, buffer, sizeof buffer, &returned, c.overlapped);
    EXPECT_EQ(c.error == 0, ok != FALSE) << std::hex << c.code;
    EXPECT_EQ(c.error, GetLastError()) << std::hex << c.code;
  }
  // No count pointer is fine; the echo reports the input's size.
  EXPECT_TRUE(DeviceIoControl(device, kFakeEcho, buffer, 4, buffer, sizeof buffer, nullptr, nullptr));
  EXPECT_FALSE(ReadFile(device, buffer, 1, &returned, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
  for (HANDLE h : {device, noAccess, file}) CloseHandle(h);
}

TEST_F(DeviceTest, UnloadingDeletesTheDeviceUnderOpenHandles) {
  HANDLE device = OpenDevice("\\\\.\\Kelvorant");
  ASSERT_NE(INVALID_HANDLE_VALUE, device);
  EXPECT_EQ(0u, kvplat::UnloadDriver(kService));
  EXPECT_FALSE(kvplat::IsDriverLoaded(kService));
  EXPECT_EQ(std::string("entry\n\\Registry\\Machine\\System\\CurrentControlSet\\Services\\FakeService\nunload\n"),
            kvtest::ReadText(dir_ / "log"));
  char buffer[4] = {};
  DWORD returned = 5;
  EXPECT_FALSE(DeviceIoControl(device, kFakeEcho, buffer, 4, buffer, 4, &returned, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DEV_NOT_EXIST), GetLastError());
  EXPECT_EQ(0u, returned);
  EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDevice("\\\\.\\Kelvorant"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_TRUE(CloseHandle(device));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), kvplat::UnloadDriver(kService));
}

TEST_F(DeviceTest, MachinePortReachesTheDriver) {
  std::string why;
  EXPECT_TRUE(kvplat::SendMachineCommand("ping", &why));
  EXPECT_FALSE(kvplat::SendMachineCommand("reset 02:00.0", &why));
  EXPECT_EQ("unknown command: reset 02:00.0", why);
  kvplat::UnloadDriver(kService);
  EXPECT_FALSE(kvplat::SendMachineCommand("ping", &why));
  EXPECT_EQ("no driver serves \\\\.\\Kelvorant in this process", why);
}

TEST(LoadDriver, RefusesWhatIsNoDriver) {
  kvtest::TempDir dir;
  kvtest::WriteText(dir / "text.sys", "not a module\n");
  kvtest::CopyFile(KV_FAKE_DRIVER, dir / "copy.sys");
  struct Case {
    const char *name;
    std::string path;
    const char *env;  // set for the load
    DWORD error;
    const char *stderrHas;
  } cases[] = {
      {"missing", dir / "missing.sys", nullptr, ERROR_FILE_NOT_FOUND, ""},
      {"text", dir / "text.sys", nullptr, ERROR_BAD_EXE_FORMAT, "text.sys is not a driver module"},
      {"noentry", KV_NO_ENTRY_MODULE, nullptr, ERROR_BAD_EXE_FORMAT, "it has no DriverEntry"},
      {"failing", KV_FAKE_DRIVER, "KV_FAKE_FAIL", ERROR_GEN_FAILURE, "kelvorant: fake driver: refusing to start\n"},
      {"folder", dir.path(), nullptr, ERROR_BAD_EXE_FORMAT, "is not a driver module"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    kvtest::EnvOverride env;
    if (c.env) env.Set(c.env, "1");
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.error, kvplat::LoadDriver(c.name, c.path));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find(c.stderrHas));
    EXPECT_FALSE(kvplat::IsDriverLoaded(c.name));
    EXPECT_EQ(nullptr, kvplat::FindDevice("Kelvorant"));  // a failed start leaves no device behind
  }

  // One service, one driver; one image, one service; one device name, one device.
  ASSERT_EQ(0u, kvplat::LoadDriver("first", KV_FAKE_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING), kvplat::LoadDriver("FIRST", KV_FAKE_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING), kvplat::LoadDriver("second", KV_FAKE_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), kvplat::LoadDriver("second", dir / "copy.sys"));
  EXPECT_EQ(0u, kvplat::UnloadDriver("first"));
}

TEST(LoadDriver, ADriverWithoutUnloadRoutineCannotBeStopped) {
  kvtest::EnvOverride env;
  env.Set("KV_FAKE_NO_UNLOAD", "1");
  env.Set("KV_FAKE_DEVICE", "Sticky");  // it stays loaded for the rest of this process
  kvtest::TempDir dir;
  kvtest::CopyFile(KV_FAKE_DRIVER, dir / "sticky.sys");  // its own image: an image serves one service
  ASSERT_EQ(0u, kvplat::LoadDriver("sticky", dir / "sticky.sys"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL), kvplat::UnloadDriver("sticky"));
  EXPECT_TRUE(kvplat::IsDriverLoaded("sticky"));
  EXPECT_NE(nullptr, kvplat::FindDevice("sticky"));
}

}  // namespace
