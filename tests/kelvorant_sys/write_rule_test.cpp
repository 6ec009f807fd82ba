// The write rule with the default masks it runs with, and with explicit masks, at every access width; and a
// simulated function's writes, which put an image back through the restore plan a register at a time.
#include <gtest/gtest.h>

#include <cstring>

#include "core/default_masks.h"
#include "core/sim_machine.h"
#include "core/write_rule.h"
#include "driver_test_util.h"

namespace {

// A 64-byte type-0 header: status with every error bit and the capability-list bit set, an I/O BAR, a
// 64-bit prefetchable memory BAR and its upper half.
std::vector<uint8_t> Header() {
  std::vector<uint8_t> h(64, 0);
  const uint8_t start[] = {0x86, 0x80, 0x29, 0x28, 0x00, 0x00, 0x10, 0xf9, 0x03, 0x01, 0x06, 0x01, 0, 0, 0, 0,
                           0x01, 0x18, 0x00, 0x00, 0x0c, 0x00, 0x00, 0xe0, 0x00, 0x00, 0x00, 0x00};
  std::memcpy(h.data(), start, sizeof start);
  h[0x3d] = 0x01;  // interrupt pin A
  return h;
}

// The function's image after one access of `width` bytes at `offset`, with the masks the machine has for it.
std::vector<uint8_t> AfterAccess(const kvsys::SimMachine &m, kvsys::FunctionIndex fn, unsigned offset,
                                 unsigned width, const uint8_t *value) {
  std::vector<uint8_t> image(m.Image(fn).begin(), m.Image(fn).end()), writable, w1c;
  kvtest::MasksOf(m, fn, &writable, &w1c);
  kvsys::ApplyWrite(image.data(), image.size(), writable.data(), w1c.data(), offset, value, width);
  return image;
}

TEST(WriteRule, EveryWidthOnDefaultMasks) {
  struct Case { unsigned offset, width; uint32_t value; unsigned dword; uint32_t expected; } cases[] = {
      {0x04, 1, 0xff, 0x04, 0xf9100057},        // command low byte
      {0x04, 2, 0xffff, 0x04, 0xf9100557},      // command word leaves status alone
      {0x04, 4, 0xffffffff, 0x04, 0x00100557},  // dword: errors cleared, capability bit kept
      {0x07, 1, 0x80, 0x04, 0x79100000},        // one error bit cleared by a byte write
      {0x06, 2, 0x0000, 0x04, 0xf9100000},      // writing zeros clears nothing
      {0x00, 2, 0x1234, 0x00, 0x28298086},      // IDs read-only
      {0x08, 4, 0xffffffff, 0x08, 0x01060103},  // revision and class read-only
      {0x0c, 4, 0xffffffff, 0x0c, 0x0000ffff},  // cache line and latency; header type and BIST not
      {0x10, 4, 0xffffffff, 0x10, 0xfffffffd},  // I/O BAR: bit 0 stays, bit 1 reads 0
      {0x14, 4, 0x12345678, 0x14, 0x1234567c},  // memory BAR keeps its type bits
      {0x18, 4, 0xffffffff, 0x18, 0xffffffff},  // upper half of the 64-bit BAR
      {0x16, 2, 0xabcd, 0x14, 0xabcd000c},      // unaligned word across BAR registers
      {0x3c, 4, 0xffffffff, 0x3c, 0x000001ff},  // interrupt line only
      {0x3e, 4, 0xffffffff, 0x3c, 0x00000100},  // past the image: dropped
  };
  for (const Case &c : cases) {
    kvsys::SimMachine m(0);
    m.Put(1, Header());
    uint8_t value[4];
    std::memcpy(value, &c.value, 4);
    const std::vector<uint8_t> image = AfterAccess(m, 1, c.offset, c.width, value);
    uint32_t dword = 0;
    std::memcpy(&dword, image.data() + c.dword, 4);
    EXPECT_EQ(dword, c.expected) << "write of " << c.width << " at 0x" << std::hex << c.offset;
    EXPECT_EQ(image.size(), 64u);
  }
}

TEST(WriteRule, ExplicitMasksReplaceDefaultsAndEndInZeros) {
  kvsys::SimMachine m(0);
  // Only the vendor ID writable, nothing past it; bit 0 of the first eight bytes write-one-to-clear.
  m.Put(8, Header(), {std::vector<uint8_t>{0xff, 0xff}, std::vector<uint8_t>(8, 0x01)});
  std::vector<uint8_t> ones(64, 0xff);
  std::vector<uint8_t> expected = Header();
  expected[0] = expected[1] = 0xfe;  // written, then bit 0 cleared
  for (int i = 2; i < 8; ++i) expected[i] &= 0xfe;
  EXPECT_EQ(AfterAccess(m, 8, 0, 64, ones.data()), expected);
}

// A write request puts the saved image back as the HAL machine writes hardware: only the registers that
// differ, from the highest offset down, the command register as a word after the base addresses, never the
// identification registers, the header type or the status.
TEST(SimulatedWrite, GoesThroughTheRestorePlanARegisterAtATime) {
  kvsys::SimMachine m(0);
  m.Put(1, Header());
  std::vector<uint8_t> saved = Header();
  saved[0x00] = 0x11;                          // vendor ID: never written
  saved[0x04] = 0x06;                          // command
  saved[0x07] = 0x00;                          // status: never written (its error bits stay)
  saved[0x10] = 0x81;                          // the I/O BAR
  saved[0x3c] = 0x0b;                          // interrupt line
  ASSERT_EQ(m.Write(1, 0, 64, saved.data()), kvsys::Access::kDone);
  std::string writes, again;
  ASSERT_TRUE(m.Control("writes 00:00.1", &writes) && m.Control("writes 00:00.1", &again));
  EXPECT_EQ(writes + ", then " + again, "3c/4 10/4 4/2, then none") << "taken once";
  std::vector<uint8_t> image(m.Image(1).begin(), m.Image(1).end()), want = Header();
  want[0x04] = 0x06;
  want[0x10] = 0x81;
  want[0x3c] = 0x0b;
  EXPECT_EQ(image, want);
  ASSERT_EQ(m.Write(1, 0, 64, saved.data()), kvsys::Access::kDone);
  ASSERT_TRUE(m.Control("writes 00:00.1", &again));
  EXPECT_EQ(again, "none") << "nothing differs any more";
}

// Default masks of real functions of every header type, register by register.
TEST(DefaultMasks, PerHeaderType) {
  const kvtest::DumpParse fujitsu = kvtest::ParseDump(kvtest::Capture("tree-fujitsu-p8010.txt"));
  struct Case { const char *address; unsigned offset, width; uint32_t writable, w1c; } cases[] = {
      // type 0, the graphics controller: two 64-bit memory BARs and an I/O BAR, capabilities at 0x90
      {"00:02.0", 0x04, 4, 0x00000557, 0xf9000000}, {"00:02.0", 0x08, 4, 0, 0}, {"00:02.0", 0x10, 4, 0xfffffff0, 0},
      {"00:02.0", 0x14, 4, 0xffffffff, 0}, {"00:02.0", 0x20, 4, 0xfffffffc, 0}, {"00:02.0", 0x30, 4, 0xfffff801, 0},
      {"00:02.0", 0x34, 4, 0, 0}, {"00:02.0", 0x3c, 4, 0x000000ff, 0}, {"00:02.0", 0x90, 4, 0xffff0000, 0},
      // type 1, a PCIe root port: 16-bit I/O window, 64-bit prefetchable window, extended capabilities
      {"00:1c.0", 0x1c, 4, 0x0000f0f0, 0xf9000000}, {"00:1c.0", 0x24, 4, 0xfff0fff0, 0},
      {"00:1c.0", 0x28, 4, 0xffffffff, 0}, {"00:1c.0", 0x30, 4, 0, 0}, {"00:1c.0", 0x38, 4, 0xfffff801, 0},
      {"00:1c.0", 0x3c, 4, 0x0bff00ff, 0x04000000}, {"00:1c.0", 0x100, 4, 0, 0}, {"00:1c.0", 0x104, 4, 0xffffffff, 0},
      {"00:1c.0", 0xffc, 4, 0xffffffff, 0},
      // type 1, the PCI bridge: subsystem capability at 0x50
      {"00:1e.0", 0x30, 4, 0, 0}, {"00:1e.0", 0x50, 4, 0xffff0000, 0}, {"00:1e.0", 0x54, 4, 0xffffffff, 0},
      // type 2, the CardBus bridge: socket base, windows, subsystem IDs at 0x40, capability at 0xa0
      {"1c:03.0", 0x10, 4, 0xfffff000, 0}, {"1c:03.0", 0x14, 4, 0, 0xf9000000}, {"1c:03.0", 0x2c, 4, 0xfffffffc, 0},
      {"1c:03.0", 0x3c, 4, 0x07ef00ff, 0}, {"1c:03.0", 0x40, 4, 0, 0}, {"1c:03.0", 0xa0, 4, 0xffff0000, 0},
  };
  for (const Case &c : cases) {
    const kvtest::DumpFunction *f = nullptr;
    for (const auto &candidate : fujitsu.functions)
      if (kvsys::FormatAddress(candidate.address) == c.address) f = &candidate;
    ASSERT_NE(f, nullptr) << c.address;
    std::vector<uint8_t> writable(f->image.size()), w1c(f->image.size());
    kvsys::ComputeDefaultMasks(f->image.data(), f->image.size(), writable.data(), w1c.data());
    uint32_t w = 0, c1 = 0;
    std::memcpy(&w, writable.data() + c.offset, c.width);
    std::memcpy(&c1, w1c.data() + c.offset, c.width);
    EXPECT_EQ(w, c.writable) << c.address << " writable at 0x" << std::hex << c.offset;
    EXPECT_EQ(c1, c.w1c) << c.address << " w1c at 0x" << std::hex << c.offset;
  }
}

TEST(DefaultMasks, LoopedAndBrokenChainsEnd) {
  // A standard capability pointing at itself, and the capture whose extended chain is garbage.
  std::vector<uint8_t> looped = Header();
  looped.resize(256, 0);
  looped[0x34] = 0x40;
  looped[0x40] = 0x05;
  looped[0x41] = 0x40;
  std::vector<uint8_t> w(256), c(256);
  kvsys::ComputeDefaultMasks(looped.data(), looped.size(), w.data(), c.data());
  EXPECT_EQ(w[0x40] | w[0x41], 0);
  EXPECT_EQ(w[0x42], 0xff);

  const kvtest::DumpParse broken = kvtest::ParseDump(kvtest::Capture("broken-ecaps.txt"));
  ASSERT_EQ(broken.functions.size(), 1u);
  const std::vector<uint8_t> &image = broken.functions[0].image;
  w.assign(image.size(), 0);
  c.assign(image.size(), 0);
  kvsys::ComputeDefaultMasks(image.data(), image.size(), w.data(), c.data());
  EXPECT_EQ(w[0x100] | w[0x103], 0);
}

}  // namespace
