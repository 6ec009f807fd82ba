// The HAL's bus-data routines over a folder laid out like /sys/bus/pci/devices: what they answer for buses,
// empty slots, functions and the files that sysfs would never hold, and, read-only, this machine's own
// sysfs against lspci.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ddk/ntddk.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "driver_test_util.h"
#include "kvplat/kernel.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

ULONG Slot(ULONG device, ULONG function) { return device | function << 5; }

// Reads `length` bytes at `offset`: the count and the bytes (0xEE where nothing was written).
std::pair<ULONG, std::vector<unsigned char>> Get(ULONG bus, ULONG slot, ULONG offset, ULONG length) {
  std::vector<unsigned char> out(length, 0xee);
  const ULONG n = HalGetBusDataByOffset(PCIConfiguration, bus, slot, out.data(), offset, length);
  return {n, out};
}

class HalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Put("0000:00:00.0", std::string(256, '\x11'));
    Put("0000:00:02.0", std::string(64, '\x22'));  // what an unprivileged reader gets
    Put("0000:03:00.0", std::string(4096, '\x33'));
    Put("0001:00:1f.3", std::string(256, '\x44'));  // another domain
    // Entries that name no function, all on bus 4: device 20, function 8, capitals, no domain.
    for (const char *name : {"0000:04:20.0", "0000:04:00.8", "0000:04:0A.0", "04:01.0"})
      Put(name, std::string(256, '\x99'));
    // The kernel's entries are links to the devices' folders: a function's folder may be one.
    dir_.Write("pci0000:00/0000:00:05.0/config", std::string(256, '\x55'));
    fs::create_directory_symlink(dir_ / "pci0000:00/0000:00:05.0", devices_ + "/0000:00:05.0");
    // Its config file may not be a link, nor a FIFO.
    dir_.Write("victim", std::string(256, '\x66'));
    fs::create_directories(devices_ + "/0000:00:06.0");
    fs::create_symlink(dir_ / "victim", devices_ + "/0000:00:06.0/config");
    fs::create_directories(devices_ + "/0000:00:07.0");
    ASSERT_EQ(mkfifo((devices_ + "/0000:00:07.0/config").c_str(), 0600), 0);
    kvplat::ConfigureHalBuses(devices_, 0);
  }
  void TearDown() override { kvplat::ConfigureHalBuses("", 0); }

  void Put(const std::string &name, const std::string &bytes) const {
    dir_.Write("devices/" + name + "/config", bytes);
  }

  kvtest::TempDir dir_;
  const std::string devices_ = dir_ / "devices";
};

TEST_F(HalTest, AnswersAsAHalDoes) {
  testing::internal::CaptureStderr();
  struct Case { ULONG bus, slot, offset, length, count; unsigned char first; } cases[] = {
      {0, Slot(0, 0), 0, 256, 256, 0x11},
      {0, Slot(0, 0), 0x100, 3840, 0, 0xee},   // no extended space
      {0, Slot(2, 0), 0, 256, 64, 0x22},       // the rest is the caller's to fill with 0xFF
      {0, Slot(1, 0), 0, 256, 2, 0xff},        // an empty slot: vendor ID 0xFFFF
      {0, Slot(1, 0), 1, 4, 1, 0xff},
      {0, Slot(1, 0), 4, 4, 0, 0xee},
      {1, Slot(0, 0), 0, 256, 0, 0xee},        // no function on bus 1: no such bus
      {4, Slot(0, 0), 0, 256, 0, 0xee},        // nor on bus 4
      {3, Slot(0, 0), 0x100, 3840, 3840, 0x33},
      {0, Slot(0x1f, 3), 0, 256, 2, 0xff},     // of domain 0001 only
      {0, Slot(5, 0), 0, 256, 256, 0x55},      // its folder is a link
      {0, Slot(6, 0), 0, 256, 0, 0xee},        // its config file is a link
      {0, Slot(7, 0), 0, 256, 0, 0xee},        // a FIFO
      {0, Slot(6, 0), 0, 256, 0, 0xee},        // said once
      {256, Slot(0, 0), 0, 256, 0, 0xee},
  };
  for (const auto &c : cases) {
    const auto [count, bytes] = Get(c.bus, c.slot, c.offset, c.length);
    EXPECT_EQ(count, c.count) << c.bus << " " << c.slot << " " << c.offset;
    EXPECT_EQ(bytes[0], c.first) << c.bus << " " << c.slot << " " << c.offset;
  }
  const std::string me = "kelvorant: hal_test: ";
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            me + devices_ + "/0000:00:06.0/config is a symbolic link, not the regular file that sysfs gives; it is "
                            "neither read nor written\n" +
                me + devices_ + "/0000:00:07.0/config is a FIFO, not the regular file that sysfs gives; it is "
                                "neither read nor written\n");
  EXPECT_EQ(kvtest::ReadText(dir_ / "victim"), std::string(256, '\x66'));
}

TEST_F(HalTest, ListsTheFolderOnceAndWritesWhatItIsGiven) {
  Get(0, Slot(0, 0), 0, 2);
  Put("0000:00:04.0", std::string(256, '\x77'));  // after the listing: not seen
  EXPECT_EQ(Get(0, Slot(4, 0), 0, 256).first, 2u);
  // Every config file is opened at the listing and kept open: another file put in its place is not read.
  fs::remove_all(devices_ + "/0000:00:02.0");
  Put("0000:00:02.0", std::string(256, '\x88'));
  const auto replaced = Get(0, Slot(2, 0), 0, 256);
  EXPECT_EQ(replaced.first, 64u);
  EXPECT_EQ(replaced.second[63], 0x22);

  unsigned char bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(HalSetBusDataByOffset(PCIConfiguration, 3, Slot(0, 0), bytes, 0x104, 4), 4u);
  EXPECT_EQ(HalSetBusDataByOffset(PCIConfiguration, 0, Slot(1, 0), bytes, 0x10, 4), 0u);  // nothing there
  EXPECT_EQ(HalSetBusDataByOffset(PCIConfiguration, 0, Slot(6, 0), bytes, 0, 4), 0u);    // a link
  const std::string written = kvtest::ReadText(devices_ + "/0000:03:00.0/config");
  EXPECT_EQ(written.substr(0x100, 12), std::string(4, '\x33') + "\x01\x02\x03\x04" + std::string(4, '\x33'));
  EXPECT_EQ(kvtest::ReadText(dir_ / "victim"), std::string(256, '\x66'));

  // A computer without PCI buses.
  kvplat::ConfigureHalBuses("", 0);
  EXPECT_EQ(Get(0, Slot(0, 0), 0, 2).first, 0u);
}

TEST(Hal, LiveMachineMatchesLspci) {
  FILE *lspci = popen("lspci -xxx 2>/dev/null", "r");
  std::string text;
  char buffer[4096];
  size_t n;
  while (lspci && (n = fread(buffer, 1, sizeof buffer, lspci)) > 0) text.append(buffer, n);
  if (!lspci || pclose(lspci) != 0 || text.empty()) GTEST_SKIP() << "lspci is not available";
  const kvtest::DumpParse listed = kvtest::ParseDump(text);
  ASSERT_EQ(listed.error, "");
  kvplat::ConfigureHalBuses(kvplat::kLiveSysfsRoot, 0);
  size_t compared = 0;
  for (const auto &f : listed.functions) {
    if (f.address.domain != 0) continue;
    std::vector<unsigned char> out(256);
    const ULONG count = HalGetBusDataByOffset(PCIConfiguration, f.address.bus, Slot(f.address.device, f.address.function),
                                              out.data(), 0, 256);
    ASSERT_GE(count, f.image.size()) << kvsys::FormatAddress(f.address);  // lspci run unprivileged shows 64 bytes
    out.resize(f.image.size());
    EXPECT_EQ(out, f.image) << kvsys::FormatAddress(f.address);
    ++compared;
  }
  EXPECT_GT(compared, 0u);
  kvplat::ConfigureHalBuses("", 0);
}

}  // namespace
