// KELVORANT.sys as the kernel sees it: loaded with dlopen, started through DriverEntry with a driver object
// that this test fills in, and sent IRPs.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/kelvorant_ioctl.h"
#include "driver_test_util.h"
#include "kvddk.h"

namespace {

using kvtest::MakeRequest;
using kvtest::StatusOf;

std::vector<std::string> g_printed;  // DbgPrint lines
std::vector<std::string> g_devices;  // IoCreateDevice names
std::vector<std::string> g_traced;   // TraceMessage lines
NTSTATUS g_create_result = STATUS_SUCCESS;

class Module : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(KV_BUILD_DIR "/KELVORANT.sys", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    entry_ = reinterpret_cast<KV_DRIVER_INITIALIZE>(dlsym(handle_, KV_DRIVER_ENTRY_NAME));
    ASSERT_NE(entry_, nullptr);
    g_printed.clear();
    g_devices.clear();
    g_traced.clear();
    g_create_result = STATUS_SUCCESS;
  }
  void TearDown() override {
    if (running_) driver_.DriverUnload(&driver_);
    if (handle_) dlclose(handle_);
  }

  NTSTATUS Start(const char *machine) {
    if (machine)
      setenv("KELVORANT_MACHINE", machine, 1);
    else
      unsetenv("KELVORANT_MACHINE");
    std::memset(&driver_, 0, sizeof driver_);
    driver_.Size = sizeof driver_;
    driver_.IoCreateDevice = [](KV_DRIVER_OBJECT *, const char *name) {
      g_devices.push_back(name);
      return g_create_result;
    };
    driver_.DbgPrint = [](const char *text) { g_printed.push_back(text); };
    driver_.TraceMessage = [](const char *line) { g_traced.push_back(line); };
    const NTSTATUS status = entry_(&driver_, "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\KELVORANT");
    running_ = NT_SUCCESS(status);
    return status;
  }

  NTSTATUS Send(uint32_t code, std::vector<uint8_t> &buffer, uint32_t input, uint32_t output, uintptr_t *information) {
    KV_IRP irp{code, buffer.data(), input, output, 0};
    const NTSTATUS status = driver_.DispatchDeviceControl(&driver_, &irp);
    *information = irp.Information;
    return status;
  }

  // Reads the standard space of a function; returns its status word, or -1 when the call fails.
  int64_t ReadStatus(uint32_t bus, uint32_t device, uint32_t function) {
    std::vector<uint8_t> request = MakeRequest(kvsys::IOCTL_READ_CONFIG, bus, device, function);
    uintptr_t information = 0;
    if (!NT_SUCCESS(Send(kvsys::IOCTL_READ_CONFIG, request, 272, 272, &information)) || information != 272) return -1;
    return StatusOf(request);
  }

  void *handle_ = nullptr;
  KV_DRIVER_INITIALIZE entry_ = nullptr;
  KV_DRIVER_OBJECT driver_{};
  bool running_ = false;
};

TEST_F(Module, StartsOnEveryMachineKind) {
  kvtest::TempDir dir;
  const std::string data = KV_TEST_DATA_DIR;
  dir.Write("devices/0000:03:00.0/config", std::string(64, '\x11'));
  namespace fs = std::filesystem;
  std::error_code error;
  const bool live_listed = fs::is_directory("/sys/bus/pci/devices", error);
  const bool live_any = live_listed && !fs::is_empty("/sys/bus/pci/devices", error);
  const int64_t live_host = fs::exists("/sys/bus/pci/devices/0000:00:00.0", error) ? 1 : 0;
  struct Case { std::string machine; uint32_t bus, device, function; int64_t status; } cases[] = {
      {"demo", 0x1c, 0x03, 0, 1},
      {"demo", 0x1c, 0x03, 1, 0},
      {data + "/lspci/cap-rebar.txt", 0x09, 0x00, 0, 1},
      {data + "/lspci/cap-ea-1.txt@0002", 0x01, 0x00, 0, 1},
      {data + "/machines/fujitsu-faults.json", 0x02, 0x00, 0, 1},
      {"sysfs:" + dir.path() + "/devices", 0x03, 0x00, 0, 1},
      // This machine's own 00:00.0, where there is one; the default is sysfs when it lists any function,
      // else the demo, whose 00:00.0 is a host bridge.
      {"sysfs", 0x00, 0x00, 0, live_host},
      {"", 0x00, 0x00, 0, live_any ? live_host : 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.machine);
    if (c.machine == "sysfs" && !live_listed) continue;
    ASSERT_EQ(Start(c.machine.c_str()), STATUS_SUCCESS) << (g_printed.empty() ? "" : g_printed[0]);
    EXPECT_EQ(g_devices, std::vector<std::string>{"Kelvorant"});
    EXPECT_TRUE(driver_.DispatchDeviceControl && driver_.DriverUnload && driver_.MachineControl);
    EXPECT_EQ(ReadStatus(c.bus, c.device, c.function), c.status);
    EXPECT_TRUE(g_printed.empty());
    driver_.DriverUnload(&driver_);
    running_ = false;
    g_devices.clear();
  }
}

// Machine files that cannot be read are shown end to end in tests/e2e/faults_test.cpp, through this module.
TEST_F(Module, BadMachineStopsWithOneLine) {
  kvtest::TempDir dir;
  EXPECT_EQ(Start(("sysfs:" + dir.path() + "/none").c_str()), STATUS_DEVICE_CONFIGURATION_ERROR);
  EXPECT_EQ(g_printed,
            std::vector<std::string>{"KELVORANT.sys: cannot list " + dir.path() + "/none: No such file or directory"});
  EXPECT_TRUE(g_devices.empty());
}

TEST_F(Module, DeviceCreationFailureIsReturned) {
  g_create_result = STATUS_OBJECT_NAME_COLLISION;
  EXPECT_EQ(Start("demo"), STATUS_OBJECT_NAME_COLLISION);
  EXPECT_EQ(driver_.DriverExtension, nullptr);
}

TEST_F(Module, BufferSizesAndUnknownCodes) {
  ASSERT_EQ(Start("demo"), STATUS_SUCCESS);
  struct Case { uint32_t code, input, output; NTSTATUS status; } cases[] = {
      {kvsys::IOCTL_READ_CONFIG, 272, 272, STATUS_SUCCESS},
      {kvsys::IOCTL_READ_CONFIG, 271, 272, STATUS_INVALID_PARAMETER},
      {kvsys::IOCTL_WRITE_CONFIG, 272, 0, STATUS_INVALID_PARAMETER},
      {kvsys::IOCTL_READ_EXT_CONFIG, 3856, 3856, STATUS_SUCCESS},
      {kvsys::IOCTL_WRITE_EXT_CONFIG, 272, 272, STATUS_INVALID_PARAMETER},
      {0x222000, 272, 272, STATUS_INVALID_DEVICE_REQUEST},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> buffer(3856, 0);
    uintptr_t information = 99;
    EXPECT_EQ(Send(c.code, buffer, c.input, c.output, &information), c.status) << std::hex << c.code;
    EXPECT_EQ(information, NT_SUCCESS(c.status) ? c.input : 0u);
  }
}

TEST_F(Module, TestPortAndTrace) {
  kvtest::TempDir dir;
  ASSERT_EQ(Start("demo@0000"), STATUS_SUCCESS);
  char message[128] = "";
  struct Case { const char *command; NTSTATUS status; const char *message; } cases[] = {
      {"unplug 00:1f.3", STATUS_SUCCESS, ""},
      {"reset 00:1f", STATUS_INVALID_PARAMETER, "\"00:1f\" is not a PCI address (BB:DD.F or DDDD:BB:DD.F)"},
      {"plug 00:03.0", STATUS_NO_SUCH_DEVICE, "no function 00:03.0 in this machine"},
  };
  for (const Case &c : cases) {
    message[0] = 0;
    EXPECT_EQ(driver_.MachineControl(&driver_, c.command, message, sizeof message), c.status) << c.command;
    EXPECT_STREQ(message, c.message);
  }
  EXPECT_EQ(ReadStatus(0x00, 0x1f, 3), 0);  // unplugged
  std::vector<uint8_t> buffer(3856, 0);
  uintptr_t information;
  Send(kvsys::IOCTL_WRITE_EXT_CONFIG, buffer, 3856, 272, &information);
  driver_.DriverUnload(&driver_);
  running_ = false;
  EXPECT_EQ(g_traced, (std::vector<std::string>{"IOCTL_READ_CONFIG 00:1f.3 status=0 returned=272",
                                                "IOCTL_WRITE_EXT_CONFIG 00:00.0 error=87"}));

  ASSERT_EQ(Start(("sysfs:" + dir.path()).c_str()), STATUS_SUCCESS);
  EXPECT_EQ(driver_.MachineControl(&driver_, "reset 00:00.0", message, sizeof message), STATUS_NOT_IMPLEMENTED);
  EXPECT_STREQ(message, "the sysfs machine has no test port");
}

}  // namespace
