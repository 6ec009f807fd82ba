// KELVORANT.sys as the platform's kernel runs it: loaded as the service manager loads it, its machine named
// by KELVORANT_MACHINE (the service key's Machine value, or the HAL's folder), its device opened and sent
// requests, its test port reached by the kernel's own IRPs, each request traced into the file that
// KELVORANT_TRACE names (the service key's Trace value).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "driver_test_util.h"
#include "kelvorant_ioctl.h"
#include "kvplat/kernel.h"
#include "sddl.h"
#include "test_firmware.h"

namespace {

using kvtest::MakeRequest;
using kvtest::StatusOf;
namespace fs = std::filesystem;

constexpr char kService[] = "KELVORANT";

class Module : public ::testing::Test {
 protected:
  void TearDown() override {
    device_.reset();
    if (running_) kvplat::UnloadDriver(kService);
    unsetenv("KELVORANT_TRACE");
    unsetenv("KELVORANT_MACHINE");
    kvtest::ResetFirmware();
  }

  // Starts the driver on the machine (nullptr: KELVORANT_MACHINE unset); returns the Win32 error of the
  // start, and in *said what the driver (and the HAL) said on standard error.
  DWORD Start(const char *machine, std::string *said = nullptr) {
    if (machine)
      setenv("KELVORANT_MACHINE", machine, 1);
    else
      unsetenv("KELVORANT_MACHINE");
    testing::internal::CaptureStderr();
    const DWORD error = kvplat::LoadDriver(kService, KV_BUILD_DIR "/KELVORANT.sys");
    running_ = error == ERROR_SUCCESS;
    if (running_) {
      EXPECT_EQ(kvplat::CreateDeviceFile("Kelvorant", &device_), 0u);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    if (said) *said = err;
    return error;
  }

  void Stop() {
    device_.reset();
    ASSERT_EQ(kvplat::UnloadDriver(kService), 0u);
    running_ = false;
  }

  DWORD Send(uint32_t code, std::vector<uint8_t> &buffer, uint32_t input, uint32_t output, DWORD *returned) {
    return kvplat::SendDeviceControl(*device_, code, buffer.data(), input, buffer.data(), output, returned);
  }

  // Reads the standard space of a function; returns its status word, or -1 when the call fails.
  int64_t ReadStatus(uint32_t bus, uint32_t device, uint32_t function) {
    std::vector<uint8_t> request = MakeRequest(kvsys::IOCTL_READ_CONFIG, bus, device, function);
    DWORD returned = 0;
    if (Send(kvsys::IOCTL_READ_CONFIG, request, 272, 272, &returned) != 0 || returned != 272) return -1;
    return StatusOf(request);
  }

  kvplat::DeviceFileRef device_;
  bool running_ = false;
};

// A folder laid out like /sys/bus/pci/devices with two functions of the demo laptop.
std::string FakeSysfs(const kvtest::TempDir &dir) {
  for (const auto &f : kvtest::ParseDump(kvtest::Capture("tree-fujitsu-p8010.txt")).functions) {
    const std::string name = kvsys::FormatAddress(f.address);
    if (name == "00:1f.3" || name == "00:1c.0")
      dir.Write("devices/0000:" + name + "/config", std::string(f.image.begin(), f.image.end()));
  }
  return dir.path() + "/devices";
}

TEST_F(Module, StartsOnEveryMachineKind) {
  kvtest::TempDir dir;
  const std::string data = KV_TEST_DATA_DIR;
  const std::string sysfs = FakeSysfs(dir);
  std::error_code error;
  const bool live_listed = fs::is_directory("/sys/bus/pci/devices", error);
  const bool live_any = live_listed && !fs::is_empty("/sys/bus/pci/devices", error);
  const int64_t live_host = fs::exists("/sys/bus/pci/devices/0000:00:00.0", error) ? 1 : 0;
  struct Case { std::optional<std::string> machine; uint32_t bus, device, function; int64_t status; } cases[] = {
      {"demo", 0x1c, 0x03, 0, 1},
      {"demo", 0x1c, 0x03, 1, 0},
      {data + "/lspci/cap-rebar.txt", 0x09, 0x00, 0, 1},
      {data + "/lspci/cap-ea-1.txt@0002", 0x01, 0x00, 0, 1},
      {data + "/machines/fujitsu-faults.json", 0x02, 0x00, 0, 1},
      {"sysfs:" + sysfs, 0x00, 0x1f, 3, 1},
      {"sysfs:" + sysfs, 0x00, 0x1f, 2, 0},
      // This machine's own 00:00.0, where there is one; the default is sysfs when it lists any function,
      // else the demo, whose 00:00.0 is a host bridge.
      {"sysfs", 0x00, 0x00, 0, live_host},
      {std::nullopt, 0x00, 0x00, 0, live_any ? live_host : 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.machine.value_or("(unset)"));
    if (c.machine == "sysfs" && !live_listed) continue;
    std::string said;
    ASSERT_EQ(Start(c.machine ? c.machine->c_str() : nullptr, &said), 0u) << said;
    EXPECT_EQ(ReadStatus(c.bus, c.device, c.function), c.status);
    EXPECT_EQ(said, "");
    Stop();
    EXPECT_FALSE(kvplat::FindDevice("Kelvorant")) << "the unload takes the device and its link";
  }
}

// The statuses of the kernel's file routines, as the driver words them. The common ones are shown end to
// end (tests/e2e/run_files_test.cpp, faults_test.cpp); these are the rest, and a trace that cannot be
// opened, which stops the driver as a machine file does.
TEST_F(Module, AFileThatCannotBeOpenedIsNamedWithWhy) {
  kvtest::TempDir dir;
  const std::string socket_path = dir.path() + "/m.txt";
  const int s = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  struct Case { std::string machine, said, trace; } cases[] = {
      {socket_path, socket_path + ": is a socket, not a regular file", ""},
      {"demo", "the trace " + dir.path() + ": is a folder, not a regular file", dir.path()},
      {"/etc/passwd/m.txt", "/etc/passwd/m.txt: cannot open: No such file or directory", ""},
      {dir.path() + "/" + std::string(300, 'x') + ".json",
       dir.path() + "/" + std::string(300, 'x') + ".json: cannot open: File name too long", ""},
      {"hal@0001", "./hal: cannot open: No such file or directory", ""},  // a file of that name, here
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.machine);
    setenv("KELVORANT_TRACE", c.trace.c_str(), 1);  // empty: no trace
    std::string said;
    EXPECT_EQ(Start(c.machine.c_str(), &said), static_cast<DWORD>(ERROR_GEN_FAILURE));
    unsetenv("KELVORANT_TRACE");
    EXPECT_EQ(said, "kelvorant: KELVORANT.sys: " + c.said + "\n");
    EXPECT_FALSE(kvplat::FindDevice("Kelvorant"));
  }
  close(s);
}

// The test port's commands, which the kernel sends, are not traced; a request the driver refuses (the test
// port's code from user mode among them) fails the call with nothing returned and is traced with its error.
// Each trace line names the domain served; a driver started again appends to the trace.
TEST_F(Module, TestPortRefusedRequestsAndTrace) {
  kvtest::TempDir dir;
  const std::string trace = dir / "trace.txt";
  setenv("KELVORANT_TRACE", trace.c_str(), 1);
  ASSERT_EQ(Start("demo@0000"), 0u);
  struct Command { const char *command; const char *why; } commands[] = {
      {"unplug 00:1f.3", ""},
      {"reset 00:1f", "\"00:1f\" is not a PCI address (BB:DD.F or DDDD:BB:DD.F)"},
      {"plug 00:03.0", "no function 00:03.0 in this machine"},
  };
  for (const Command &c : commands) {
    std::string why;
    EXPECT_EQ(kvplat::SendMachineCommand(c.command, &why), c.why[0] == 0) << c.command;
    EXPECT_EQ(why, c.why);
  }
  EXPECT_EQ(ReadStatus(0x00, 0x1f, 3), 0);  // unplugged
  struct Refused { uint32_t code, input, output; DWORD error; } refused[] = {
      {kvsys::IOCTL_WRITE_EXT_CONFIG, 3856, 272, ERROR_INVALID_PARAMETER},
      {0x222000, 12, 12, ERROR_INVALID_FUNCTION},
      {kvsys::IOCTL_READ_CONFIG, 4, 272, ERROR_INVALID_PARAMETER},
      {kvsys::IOCTL_KELVORANT_TEST_PORT, 4, 272, ERROR_INVALID_FUNCTION},
  };
  for (const Refused &r : refused) {
    std::vector<uint8_t> buffer(3856, 0);
    DWORD returned = 99;
    EXPECT_EQ(Send(r.code, buffer, r.input, r.output, &returned), r.error) << std::hex << r.code;
    EXPECT_EQ(returned, 0u) << std::hex << r.code;
  }
  Stop();

  ASSERT_EQ(Start((kvtest::CapturePath("cap-ea-1.txt") + "@0002").c_str()), 0u);
  EXPECT_EQ(ReadStatus(0x01, 0, 0), 1);
  std::vector<uint8_t> request = MakeRequest(kvsys::IOCTL_READ_EXT_CONFIG, 300, 3, 4);
  DWORD returned;
  Send(kvsys::IOCTL_READ_EXT_CONFIG, request, 3856, 3856, &returned);
  Stop();
  EXPECT_EQ(kvtest::ReadText(trace), "IOCTL_READ_CONFIG 00:1f.3 status=0 returned=272\n"
                                     "IOCTL_WRITE_EXT_CONFIG 00:00.0 error=87\n"
                                     "0x00222000 00:00.0 error=1\n"
                                     "IOCTL_READ_CONFIG - error=87\n"
                                     "0x002227c0 - error=1\n"  // from user mode, an unknown code
                                     "IOCTL_READ_CONFIG 0002:01:00.0 status=1 returned=272\n"
                                     "IOCTL_READ_EXT_CONFIG 0002:12c:03.4 status=2 returned=3856\n");

  dir.Write("devices/0000:1c:03.4/config", std::string(256, '\x11'));
  ASSERT_EQ(Start(("sysfs:" + dir / "devices").c_str()), 0u);
  std::string why;
  EXPECT_FALSE(kvplat::SendMachineCommand("reset 00:1f.3", &why));
  EXPECT_EQ(why, "the HAL machine has no test port");
}

// Save and Reload on sysfs, through the HAL: only the registers that differ are written, never the
// identification registers or the status; what the HAL cannot write fails the request.
TEST_F(Module, ReloadOnSysfsWritesWhatDiffersAndNothingElse) {
  kvtest::TempDir dir;
  const std::string sysfs = FakeSysfs(dir);
  const std::string config = sysfs + "/0000:00:1c.0/config";
  const std::string saved = kvtest::ReadText(config);
  ASSERT_EQ(Start(("sysfs:" + sysfs).c_str()), 0u);
  std::vector<uint8_t> request = MakeRequest(kvsys::IOCTL_READ_CONFIG, 0, 0x1c, 0);
  std::vector<uint8_t> ext = MakeRequest(kvsys::IOCTL_READ_EXT_CONFIG, 0, 0x1c, 0);
  DWORD returned;
  ASSERT_EQ(Send(kvsys::IOCTL_READ_CONFIG, request, 272, 272, &returned), 0u);
  ASSERT_EQ(Send(kvsys::IOCTL_READ_EXT_CONFIG, ext, 3856, 3856, &returned), 0u);

  // The function lost its settings, and its IDs, status and BIST changed (its file, as an FPGA's reload would).
  std::string reloaded = saved;
  for (unsigned at : {0x00u, 0x06u, 0x08u, 0x0fu, 0x1eu, 0x04u, 0x19u, 0x1cu, 0x3cu, 0x41u, 0x186u})
    reloaded[at] = static_cast<char>(reloaded[at] ^ 0x5a);
  std::ofstream(config, std::ios::binary) << reloaded;
  std::vector<uint8_t> write = request, write_ext = ext;
  ASSERT_EQ(Send(kvsys::IOCTL_WRITE_CONFIG, write, 272, 272, &returned), 0u);
  ASSERT_EQ(Send(kvsys::IOCTL_WRITE_EXT_CONFIG, write_ext, 3856, 3856, &returned), 0u);
  EXPECT_EQ(StatusOf(write), 1u);
  EXPECT_EQ(StatusOf(write_ext), 0u);
  std::string expected = saved;
  for (unsigned at : {0x00u, 0x06u, 0x08u, 0x0fu, 0x1eu}) expected[at] = reloaded[at];
  EXPECT_EQ(kvtest::ReadText(config), expected);

  // A file that this process may not write (the HAL opens it for reading only when it lists the folder, as
  // it does for an unprivileged process): the request says it failed.
  Stop();
  kvplat::ConfigureHalBuses("", 0);
  std::ofstream(config, std::ios::binary) << reloaded;
  chmod(config.c_str(), 0444);
  chmod(dir.path().c_str(), 0755);  // for the user nobody
  const bool root = geteuid() == 0;
  if (root && seteuid(65534) != 0) GTEST_SKIP() << "cannot drop privileges";
  const DWORD started = Start(("sysfs:" + sysfs).c_str());
  const DWORD sent = started ? started : Send(kvsys::IOCTL_WRITE_CONFIG, write, 272, 272, &returned);
  if (root) {
    ASSERT_EQ(seteuid(0), 0);
  }
  EXPECT_EQ(sent, 0u);
  EXPECT_EQ(StatusOf(write), 2u);
}

// What the HAL says about the folder it serves, once, in the driver's name.
TEST_F(Module, TheHalSaysWhatItsFolderLacks) {
  kvtest::TempDir dir;
  dir.Write("devices/0002:00:00.0/config", std::string(64, '\x11'));
  dir.Write("devices/0001:00:00.0/config", std::string(64, '\x11'));
  struct Case { std::string machine, said; } cases[] = {
      {"sysfs:" + dir.path() + "/none", "cannot list " + dir.path() + "/none: No such file or directory"},
      {"sysfs:" + dir.path() + "/devices",
       dir.path() + "/devices lists no PCI function of domain 0000 (it lists functions of domains 0001, 0002: end the "
                    "machine's name in @0001)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.machine);
    ASSERT_EQ(Start(c.machine.c_str()), 0u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadStatus(0, 0, 0), 0);
    EXPECT_EQ(ReadStatus(0, 1, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "kelvorant: KELVORANT.sys: " + c.said + "\n");
    Stop();
  }
}

// The device is SYSTEM's and the Administrators' alone, and one handle at a time: another open fails as an
// exclusive device's does on Windows, and the first handle goes on working.
TEST_F(Module, OnlySystemAndAdministratorsOpenTheDeviceOnceAtATime) {
  ASSERT_EQ(Start("demo"), 0u);
  EXPECT_EQ(kvtest::LastDeviceSddl(), "D:P(A;;GA;;;SY)(A;;GA;;;BA)");
  auto open_device = [] {
    return CreateFileA("\\\\.\\Kelvorant", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  for (int attempt = 0; attempt < 2; ++attempt) {
    SetLastError(0);
    EXPECT_EQ(open_device(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadStatus(0x1c, 0x03, 0), 1) << "the first handle still works";
  }
  device_.reset();
  HANDLE again = open_device();
  EXPECT_NE(again, INVALID_HANDLE_VALUE) << "closed, it opens again";
  CloseHandle(again);
}

// ECAM: the driver finds MCFG through the firmware table interface and reads and writes extended space in
// the windows it maps, through the platform's device memory; standard space, and every bus that no range of
// segment group 0 holds, stay with the HAL (here the sysfs folder).
constexpr uint32_t kAcpiProvider = 0x41435049;  // 'ACPI'
constexpr uint32_t kMcfgTable = 0x4746434d;     // "MCFG" in memory order

// Physical memory of simulated functions: what is not set reads as all ones, as where nothing decodes, and
// each write is logged in order.
struct PlainMemory : kvtest::DeviceMemory {
  std::map<uint64_t, uint32_t> dwords;
  std::vector<std::pair<uint64_t, uint32_t>> writes;

  uint32_t Read32(uint64_t physical) override {
    auto it = dwords.find(physical);
    return it == dwords.end() ? 0xffffffffu : it->second;
  }
  void Write32(uint64_t physical, uint32_t value) override {
    writes.emplace_back(physical, value);
    dwords[physical] = value;
  }
  // A function's 4 KB window whose dword at offset o holds seed << 24 | o.
  void Fill(uint64_t window, uint32_t seed) {
    for (uint32_t o = 0; o < 4096; o += 4) dwords[window + o] = seed << 24 | o;
  }
};

uint64_t Window(uint64_t base, uint32_t bus, uint32_t device, uint32_t function) {
  return base + (uint64_t{bus} << 20) + (device << 15) + (function << 12);
}

uint32_t DwordAt(const std::vector<uint8_t> &request, unsigned offset) {
  uint32_t v;
  std::memcpy(&v, kvtest::DataOf(request) + offset, 4);
  return v;
}

class Ecam : public Module {
 protected:
  // Buses 00-0f at 0xe0000000 and 20-2f from 0xc0000000 in segment group 0; every bus of segment group 1 at
  // 0xd0000000, which the driver must leave alone.
  static constexpr uint64_t kLow = 0xe0000000, kHigh = 0xc0000000, kOther = 0xd0000000;

  void SetUp() override {
    memory_ = std::make_shared<PlainMemory>();
    kvtest::AddDeviceMemory(0xc0000000, 0x30000000, memory_);
    for (const auto &[bus, device, function] : kFunctions) {
      char name[32];
      std::snprintf(name, sizeof name, "devices/0000:%02x:%02x.%x/config", bus, device, function);
      std::string config(4096, '\x5a');
      config[0] = '\x86', config[1] = '\x80';
      dir_.Write(name, config);
      // Where a wrong base or a range of the wrong bus would be read: all of them seed 0x51.
      for (uint64_t base : {kLow, kHigh, kOther}) memory_->Fill(Window(base, bus, device, function), 0x51);
    }
    for (const auto &[bus, device, function] : kFunctions) {
      if (bus <= 0x0f) memory_->Fill(Window(kLow, bus, device, function), 0xec);
      if (bus >= 0x20 && bus <= 0x2f) memory_->Fill(Window(kHigh, bus, device, function), 0xec);
    }
    memory_->Fill(Window(kLow, 0x05, 0, 0), 0xec);  // answers in ECAM, but not to the HAL: absent
    sysfs_ = "sysfs:" + dir_.path() + "/devices";
  }

  std::vector<uint8_t> ReadExt(uint32_t bus, uint32_t device, uint32_t function) {
    std::vector<uint8_t> request = MakeRequest(kvsys::IOCTL_READ_EXT_CONFIG, bus, device, function);
    DWORD returned = 0;
    EXPECT_EQ(Send(kvsys::IOCTL_READ_EXT_CONFIG, request, 3856, 3856, &returned), 0u);
    EXPECT_EQ(returned, 3856u);
    return request;
  }

  static constexpr std::array<std::array<uint32_t, 3>, 7> kFunctions = {{
      {0x00, 0x00, 0}, {0x0f, 0x1f, 7}, {0x10, 0x00, 0}, {0x1f, 0x00, 0}, {0x20, 0x02, 1}, {0x2f, 0x00, 0},
      {0x30, 0x00, 0}}};
  kvtest::TempDir dir_;
  std::string sysfs_;
  std::shared_ptr<PlainMemory> memory_;
};

TEST_F(Ecam, ExtendedSpaceOfTheBusesOfSegmentZeroRangesComesFromTheirWindows) {
  kvtest::SetFirmwareTable(kAcpiProvider, kMcfgTable,
                           kvtest::MakeMcfg({{kLow, 0, 0x00, 0x0f}, {kOther, 1, 0x00, 0xff}, {kHigh, 0, 0x20, 0x2f}}));
  std::string said;
  ASSERT_EQ(Start(sysfs_.c_str(), &said), 0u);
  EXPECT_EQ(said, "");
  struct Case { uint32_t bus, device, function; uint32_t status, first; unsigned maps; } cases[] = {
      {0x00, 0x00, 0, 0, 0xec000100, 1},  // the first range's start bus
      {0x0f, 0x1f, 7, 0, 0xec000100, 1},  // its end bus
      {0x10, 0x00, 0, 0, 0x5a5a5a5a, 0},  // above it, below the next: the HAL's bytes
      {0x1f, 0x00, 0, 0, 0x5a5a5a5a, 0},
      {0x20, 0x02, 1, 0, 0xec000100, 1},  // the second range, from its own base
      {0x2f, 0x00, 0, 0, 0xec000100, 1},
      {0x30, 0x00, 0, 0, 0x5a5a5a5a, 0},  // above every range
      {0x05, 0x00, 0, 2, 0xffffffff, 0},  // in a range but absent to the HAL: never mapped
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.bus << ":" << c.device << "." << c.function);
    const unsigned maps = kvtest::DeviceMemoryMappings().maps;
    const std::vector<uint8_t> ext = ReadExt(c.bus, c.device, c.function);
    EXPECT_EQ(StatusOf(ext), c.status);
    EXPECT_EQ(DwordAt(ext, 0), c.first);
    EXPECT_EQ(DwordAt(ext, 0xefc), c.first == 0xec000100 ? 0xec000ffc : c.first);
    EXPECT_EQ(kvtest::DeviceMemoryMappings().maps - maps, c.maps);
    EXPECT_EQ(kvtest::DeviceMemoryMappings().unmaps, kvtest::DeviceMemoryMappings().maps) << "unmapped in the request";
  }
  // Standard space stays with the HAL.
  const unsigned maps = kvtest::DeviceMemoryMappings().maps;
  EXPECT_EQ(ReadStatus(0x00, 0x00, 0), 1);
  EXPECT_EQ(kvtest::DeviceMemoryMappings().maps, maps);
  EXPECT_TRUE(memory_->writes.empty());
  EXPECT_EQ(kvtest::DeviceMemoryMappings().refused, 0u);
}

TEST_F(Ecam, AWriteGoesToTheWindowOnlyWhereDwordsDifferHighestFirst) {
  kvtest::SetFirmwareTable(kAcpiProvider, kMcfgTable, kvtest::MakeMcfg({{kLow, 0, 0x00, 0x0f}}));
  ASSERT_EQ(Start(sysfs_.c_str()), 0u);
  const uint64_t window = Window(kLow, 0x0f, 0x1f, 7);
  std::vector<uint8_t> write = ReadExt(0x0f, 0x1f, 7);
  for (unsigned at : {0x000u, 0x0a5u, 0x0a6u, 0xeffu}) kvtest::DataOf(write)[at] ^= 0x0f;
  const std::string config = dir_.path() + "/devices/0000:0f:1f.7/config";
  const std::string before = kvtest::ReadText(config);
  DWORD returned;
  ASSERT_EQ(Send(kvsys::IOCTL_WRITE_EXT_CONFIG, write, 3856, 3856, &returned), 0u);
  EXPECT_EQ(StatusOf(write), 0u);
  const std::vector<std::pair<uint64_t, uint32_t>> expected = {
      {window + 0xffc, 0xec000ffc ^ 0x0f000000}, {window + 0x1a4, 0xec0001a4 ^ 0x000f0f00},
      {window + 0x100, 0xec000100 ^ 0x0f}};
  EXPECT_EQ(memory_->writes, expected);
  EXPECT_EQ(kvtest::ReadText(config), before) << "nothing of it goes through the HAL";

  // The same write again changes nothing: every dword is as wanted.
  memory_->writes.clear();
  ASSERT_EQ(Send(kvsys::IOCTL_WRITE_EXT_CONFIG, write, 3856, 3856, &returned), 0u);
  EXPECT_TRUE(memory_->writes.empty());
  EXPECT_EQ(kvtest::DeviceMemoryMappings().maps, 3u);
  EXPECT_EQ(kvtest::DeviceMemoryMappings().unmaps, 3u);

  // Outside the range the write is the HAL's.
  std::vector<uint8_t> outside = ReadExt(0x10, 0x00, 0);
  kvtest::DataOf(outside)[0x10] = 0x11;
  ASSERT_EQ(Send(kvsys::IOCTL_WRITE_EXT_CONFIG, outside, 3856, 3856, &returned), 0u);
  EXPECT_EQ(kvtest::ReadText(dir_.path() + "/devices/0000:10:00.0/config")[0x110], '\x11');
  EXPECT_TRUE(memory_->writes.empty());
  EXPECT_EQ(kvtest::DeviceMemoryMappings().maps, 3u);
}

// A malformed MCFG is refused in one line, and the driver serves as without one. Every reason is shown on the
// table itself (ecam_test.cpp); these are the two that depend on the size the firmware returns.
TEST_F(Ecam, AMalformedTableIsRefusedAndTheHalServes) {
  std::vector<uint8_t> good = kvtest::MakeMcfg({{kLow, 0, 0x00, 0x0f}, {kHigh, 0, 0x20, 0x2f}});
  std::vector<uint8_t> short_table(good.begin(), good.begin() + 40), truncated(good.begin(), good.end() - 4);
  std::vector<uint8_t> backwards = kvtest::MakeMcfg({{kLow, 0, 0x0f, 0x00}});
  const std::string refused = "kelvorant: KELVORANT.sys: the ACPI table MCFG is refused (";
  const std::string then = "): extended configuration space goes through the HAL\n";
  struct Case { const char *name; std::vector<uint8_t> table; std::string machine, said; } cases[] = {
      {"too short", short_table, sysfs_,
       refused + "the firmware returned 40 bytes, less than its 44-byte header" + then},
      {"length beyond the buffer", truncated, sysfs_,
       refused + "its length 76 is beyond the 72 bytes the firmware returned" + then},
      {"not the HAL's machine", backwards, "demo", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    kvtest::SetFirmwareTable(kAcpiProvider, kMcfgTable, c.table);
    std::string said;
    ASSERT_EQ(Start(c.machine.c_str(), &said), 0u);
    EXPECT_EQ(said, c.said);
    if (c.machine == sysfs_) {
      EXPECT_EQ(DwordAt(ReadExt(0x00, 0x00, 0), 0), 0x5a5a5a5au);
    }
    EXPECT_EQ(kvtest::DeviceMemoryMappings().maps, 0u);
    Stop();
  }
}

}  // namespace
