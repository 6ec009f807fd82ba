// The guest's machine is the one the scenarios are written for: every function at the place that
// run_guest.sh's QEMU command line gives it, with the size of configuration space and the capabilities that
// make it worth having. A QEMU that builds another machine fails here, by name, rather than in a scenario.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "guest_results.h"

namespace {

constexpr int kAer = 0x0001, kDsn = 0x0003, kAts = 0x000F, kAcs = 0x000D;

struct Expected {
  const char *address;
  const char *ids;  // vendor:device as lspci -n writes them
  const char *what;
  size_t configBytes;  // what the kernel's config file gives: 4096 through MMCONFIG, 256 behind a PCI bridge
  bool pciExpress;
  std::vector<int> extCapabilities;
};

const Expected kMachine[] = {
    {"0000:00:00.0", "8086:29c0", "Q35 host bridge", 256, false, {}},
    {"0000:00:1c.0", "1b36:000c", "root port, function 0 of a multi-function device", 4096, true, {kAer, kAcs}},
    {"0000:00:1c.1", "1b36:000c", "root port", 4096, true, {kAer, kAcs}},
    {"0000:00:1c.2", "1b36:000c", "root port", 4096, true, {kAer, kAcs}},
    {"0000:00:1c.3", "1b36:000c", "root port", 4096, true, {kAer, kAcs}},
    {"0000:00:1f.0", "8086:2918", "ICH9 LPC bridge", 256, false, {}},
    {"0000:00:1f.1", "8086:293e", "ICH9 HD audio", 256, false, {}},
    {"0000:00:1f.2", "8086:2922", "ICH9 SATA (AHCI)", 256, false, {}},
    {"0000:00:1f.3", "8086:2930", "ICH9 SMBus", 256, false, {}},
    {"0000:01:00.0", "8086:10d3", "e1000e", 4096, true, {kAer, kDsn}},
    {"0000:02:00.0", "1b36:0010", "NVMe controller", 4096, true, {}},
    {"0000:03:00.0", "1af4:1044", "non-transitional virtio device", 4096, true, {kAer, kAts}},
    {"0000:04:00.0", "1b36:000e", "PCIe-to-PCI bridge", 4096, true, {kAer}},
    {"0000:05:01.0", "1234:11e8", "conventional device behind the PCIe-to-PCI bridge", 256, false, {}},
};

TEST(VmMachine, HoldsEveryFunctionTheScenariosNeed) {
  KV_REQUIRE_GUEST();
  const auto capture = kvvm::Capture("scan", "lspci-before.txt");
  std::set<std::string> listed, expected;
  for (const auto &f : capture) listed.insert(kvvm::Address(f));
  for (const Expected &e : kMachine) {
    SCOPED_TRACE(std::string(e.address) + " " + e.what);
    expected.insert(e.address);
    const kvtest::LspciFunction *f = kvvm::Find(capture, e.address);
    ASSERT_NE(f, nullptr) << "lspci does not list it";
    EXPECT_EQ(f->vendor + ":" + f->device, e.ids);
    EXPECT_EQ(kvvm::Printed(*f).size(), e.configBytes);
    EXPECT_EQ(f->pciExpress, e.pciExpress);
    std::vector<int> caps = kvvm::ExtCapabilityIds(*f);
    std::sort(caps.begin(), caps.end());
    EXPECT_EQ(caps, e.extCapabilities);
  }
  EXPECT_EQ(listed, expected) << "the guest's machine has other functions than these";

  // The two multi-function devices: the root ports and the ICH9 functions.
  for (const char *address : {"0000:00:1c.0", "0000:00:1f.0"}) {
    const kvtest::LspciFunction *f = kvvm::Find(capture, address);
    ASSERT_NE(f, nullptr) << address;
    EXPECT_TRUE(f->bytes[0x0E] & 0x80) << address << " is not marked multi-function";
  }
}

}  // namespace
