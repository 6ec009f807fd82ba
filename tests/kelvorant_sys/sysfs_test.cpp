// The sysfs backend against fake folders, the register-restore plan it follows, and read-only against this
// machine's own /sys/bus/pci/devices compared with lspci.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/dump_reader.h"
#include "core/machine_source.h"
#include "core/restore_plan.h"
#include "driver_test_util.h"
#include "linux/sysfs_machine.h"

namespace {

using kvsys::Access;
using kvsys::RegisterWrite;

std::vector<RegisterWrite> HeaderWrites(std::initializer_list<unsigned> skip_or_word, unsigned word_at) {
  std::vector<RegisterWrite> out;
  for (unsigned d = 0x3c; d >= 0x10; d -= 4) {
    if (std::find(skip_or_word.begin(), skip_or_word.end(), d) != skip_or_word.end()) continue;
    out.push_back({d, d == word_at ? 2u : 4u});
  }
  out.push_back({0x0c, 2});
  out.push_back({0x04, 2});
  return out;
}

TEST(RestorePlan, EveryHeaderRegisterChangedPerHeaderType) {
  struct Case { uint8_t header_type; std::vector<RegisterWrite> writes; } cases[] = {
      {0x80, HeaderWrites({}, 0)},
      {0x01, HeaderWrites({}, 0x1c)},      // the I/O window word, not the secondary status
      {0x02, HeaderWrites({0x14}, 0)},     // capability pointer and secondary status left alone
  };
  for (const Case &c : cases) {
    uint8_t present[256], wanted[256];
    std::memset(present, 0x11, sizeof present);
    present[0x0e] = c.header_type;
    for (int i = 0; i < 256; ++i) wanted[i] = i < 64 ? present[i] ^ 0xff : present[i];
    EXPECT_EQ(kvsys::PlanRestoreWrites(0, 256, present, 256, wanted), c.writes) << int(c.header_type);
    // Only what was read is compared and written.
    EXPECT_TRUE(kvsys::PlanRestoreWrites(0, 256, present, 0, wanted).empty());
  }
  uint8_t present[3840] = {}, wanted[3840] = {};
  wanted[0xffc - 0x100] = wanted[0x104 - 0x100 + 3] = 1;
  EXPECT_EQ(kvsys::PlanRestoreWrites(0x100, 3840, present, 3840, wanted),
            (std::vector<RegisterWrite>{{0xffc, 4}, {0x104, 4}}));
}

struct FakeSysfs {
  kvtest::TempDir dir;
  std::vector<uint8_t> bridge, device;  // 00:1c.0 (4096 bytes) and 00:1f.3 (256 bytes) of the demo laptop
  std::vector<std::string> writes;      // "00:1c.0 3c/4"
  std::vector<std::string> warnings;

  FakeSysfs() {
    for (const auto &f : kvsys::ParseDump(kvtest::Capture("tree-fujitsu-p8010.txt")).functions) {
      if (FormatAddress(f.address) == "00:1c.0") bridge = f.image;
      if (FormatAddress(f.address) == "00:1f.3") device = f.image;
    }
    Put("0000:00:1c.0", bridge);
    Put("0000:00:1f.3", device);
  }
  std::string Put(const std::string &name, const std::vector<uint8_t> &image) const {
    return dir.Write("devices/" + name + "/config", std::string(image.begin(), image.end()));
  }
  std::string ConfigOf(const std::string &name) const { return dir.path() + "/devices/" + name + "/config"; }
  std::unique_ptr<kvsys::Machine> Open() {
    kvsys::SysfsOptions options;
    options.root = dir.path() + "/devices";
    options.on_write = [this](kvsys::FunctionIndex fn, unsigned offset, unsigned width) {
      char text[32];
      std::snprintf(text, sizeof text, "%s %x/%u", kvsys::FormatAddress(kvsys::AddressOfIndex(0, fn)).c_str(), offset, width);
      writes.push_back(text);
    };
    options.warn = [this](const std::string &line) { warnings.push_back(line); };
    std::string why;
    auto m = kvsys::OpenSysfsMachine(options, &why);
    EXPECT_TRUE(m) << why;
    return m;
  }
};

TEST(Sysfs, WritesOnlyChangedRegistersHighestFirstNeverIds) {
  FakeSysfs sys;
  auto m = sys.Open();
  std::vector<uint8_t> wanted = sys.bridge;
  for (unsigned at : {0x00u, 0x06u, 0x08u, 0x0eu, 0x0fu, 0x1eu})  // IDs, status, class, header type, BIST
    wanted[at] ^= 0xff;
  wanted[0x04] ^= 0x04;     // command
  wanted[0x19] = 0x09;      // secondary bus
  wanted[0x1c] = 0x30;      // I/O base
  wanted[0x3c] = 0x0a;      // interrupt line
  wanted[0x41] ^= 0x01;     // a capability
  wanted[0x180 + 6] = 0x7;  // extended space
  ASSERT_EQ(m->Write(0x1c << 3, 0, 256, wanted.data()), Access::kDone);
  ASSERT_EQ(m->Write(0x1c << 3, 256, 3840, wanted.data() + 256), Access::kDone);
  EXPECT_EQ(sys.writes, (std::vector<std::string>{"00:1c.0 40/4", "00:1c.0 3c/4", "00:1c.0 1c/2", "00:1c.0 18/4",
                                                  "00:1c.0 4/2", "00:1c.0 184/4"}));
  std::vector<uint8_t> expected = wanted;
  for (unsigned at : {0x00u, 0x06u, 0x08u, 0x0eu, 0x0fu, 0x1eu}) expected[at] = sys.bridge[at];
  EXPECT_EQ(kvtest::ReadFile(sys.ConfigOf("0000:00:1c.0")), std::string(expected.begin(), expected.end()));
  EXPECT_EQ(kvtest::ReadFile(sys.ConfigOf("0000:00:1f.3")), std::string(sys.device.begin(), sys.device.end()));
}

TEST(Sysfs, ReadsWhatTheKernelGivesAndAnswersAbsenceAndRefusal) {
  namespace fs = std::filesystem;
  FakeSysfs sys;
  const std::string devices = sys.dir.path() + "/devices";
  sys.Put("0000:00:02.0", std::vector<uint8_t>(64, 0x5a));  // what an unprivileged reader gets
  sys.Put("0001:00:1f.3", sys.device);  // another domain
  // The kernel's entries are links to the devices' folders: a function's folder may be one.
  const std::string elsewhere = sys.dir.Write("pci0000:00/0000:00:05.0/config", std::string(sys.device.begin(), sys.device.end()));
  fs::create_directory_symlink(fs::path(elsewhere).parent_path(), devices + "/0000:00:05.0");
  // Its config file may not: reads and writes through the link would reach whatever file it names. Nor may
  // the file be a FIFO, which would never answer.
  const std::string victim = sys.dir.Write("victim", std::string(256, '\x42'));
  fs::create_directories(devices + "/0000:00:03.0");
  fs::create_symlink(victim, devices + "/0000:00:03.0/config");
  fs::create_directories(devices + "/0000:00:06.0");
  ASSERT_EQ(mkfifo((devices + "/0000:00:06.0/config").c_str(), 0600), 0);
  auto m = sys.Open();
  sys.Put("0000:00:04.0", sys.device);  // appeared after the listing: not served

  std::vector<uint8_t> out(3840);
  EXPECT_EQ(m->Read(0x02 << 3, 0, 256, out.data()), Access::kDone);
  EXPECT_EQ(out[63], 0x5a);
  EXPECT_EQ(out[64], 0xff);
  EXPECT_EQ(m->Read(0x1f << 3 | 3, 256, 3840, out.data()), Access::kDone);  // a 256-byte file
  EXPECT_EQ(out[0], 0xff);
  EXPECT_EQ(m->Read(0x04 << 3, 0, 256, out.data()), Access::kAbsent);
  EXPECT_EQ(m->Read(0x05 << 3, 0, 256, out.data()), Access::kDone);
  EXPECT_EQ(out[0], sys.device[0]);

  std::vector<uint8_t> ones(256, 1);
  for (unsigned device : {0x03u, 0x06u}) {
    EXPECT_EQ(m->Read(device << 3, 0, 256, out.data()), Access::kFailed) << device;
    EXPECT_EQ(out[0], 0xff);
    EXPECT_EQ(m->Write(device << 3, 0, 256, ones.data()), Access::kFailed) << device;
  }
  EXPECT_EQ(kvtest::ReadFile(victim), std::string(256, '\x42'));
  EXPECT_EQ(sys.warnings, (std::vector<std::string>{
                              devices + "/0000:00:03.0/config is a symbolic link, not the regular file that sysfs "
                                        "gives; it is neither read nor written",
                              devices + "/0000:00:06.0/config is a FIFO, not the regular file that sysfs gives; it "
                                        "is neither read nor written"}))
      << "once for each function";

  // A function that went away since the listing.
  fs::remove_all(devices + "/0000:00:1f.3");
  EXPECT_EQ(m->Read(0x1f << 3 | 3, 0, 256, out.data()), Access::kAbsent);
  EXPECT_EQ(m->Write(0x1f << 3 | 3, 0, 256, ones.data()), Access::kAbsent);

  std::string why;
  EXPECT_EQ(m->Control("reset 00:1c.0", &why), kvsys::ControlResult::kUnsupported);
  EXPECT_EQ(why, "the sysfs machine has no test port");
}

TEST(Sysfs, ReadOnlyConfigFileRefusesWrites) {
  FakeSysfs sys;
  std::filesystem::permissions(sys.dir.path(), std::filesystem::perms(0755));
  std::filesystem::permissions(sys.ConfigOf("0000:00:1f.3"), std::filesystem::perms(0444));
  auto m = sys.Open();
  std::vector<uint8_t> wanted = sys.device;
  wanted[0x3c] ^= 0xff;
  // root opens any file: write as nobody, the way an unprivileged program meets the kernel's refusal.
  const bool root = geteuid() == 0;
  if (root && seteuid(65534) != 0) GTEST_SKIP() << "cannot drop privileges";
  const Access access = m->Write(0x1f << 3 | 3, 0, 256, wanted.data());
  if (root) {
    ASSERT_EQ(seteuid(0), 0);
  }
  EXPECT_EQ(access, Access::kFailed);
  EXPECT_TRUE(sys.writes.empty());
}

TEST(Sysfs, LiveMachineMatchesLspci) {
  FILE *lspci = popen("lspci -xxx 2>/dev/null", "r");
  std::string text;
  char buffer[4096];
  size_t n;
  while (lspci && (n = fread(buffer, 1, sizeof buffer, lspci)) > 0) text.append(buffer, n);
  if (!lspci || pclose(lspci) != 0 || text.empty()) GTEST_SKIP() << "lspci is not available";
  const kvsys::DumpParse listed = kvsys::ParseDump(text);
  ASSERT_EQ(listed.error, "");
  kvsys::SysfsOptions options;
  options.root = kvsys::kLiveSysfsRoot;
  std::string why;
  auto m = kvsys::OpenSysfsMachine(options, &why);
  ASSERT_TRUE(m) << why;
  size_t compared = 0;
  for (const auto &f : listed.functions) {
    if (f.address.domain != 0) continue;
    std::vector<uint8_t> out(256);
    ASSERT_EQ(m->Read(f.address.Index(), 0, 256, out.data()), Access::kDone) << FormatAddress(f.address);
    out.resize(f.image.size());  // lspci run unprivileged shows 64 bytes
    EXPECT_EQ(out, f.image) << FormatAddress(f.address);
    ++compared;
  }
  EXPECT_GT(compared, 0u);
}

}  // namespace
