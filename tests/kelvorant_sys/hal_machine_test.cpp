// The HAL machine on a simulated bus with HalGetBusDataByOffset's answers: what it reads, what it writes
// back and in which order, and when the driver chooses it. How the core's request handling turns its answers into the statuses the program
// reads is the same for every machine and tested with the Linux driver (tests/kelvorant_sys).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "core/machine_choice.h"
#include "core/restore_plan.h"

namespace {

using kvsys::Access;

struct Write {
  uint32_t offset, width;
  bool operator==(const Write &) const = default;
};

// Configuration spaces behind HalGetBusDataByOffset. Buses past `buses` do not exist (0 bytes), an empty slot
// answers 2 bytes of vendor ID 0xFFFF, and the HAL returns at most `reach` bytes of a function (256 on
// most systems: no extended space).
struct FakeHal {
  uint32_t buses = 1;
  uint32_t reach = 256;
  std::map<std::pair<uint32_t, uint32_t>, std::array<uint8_t, 4096>> functions;
  std::vector<Write> writes;
  int fail_write_at = -1;  // the write with this index comes back short
  int gets = 0;             // calls of Get

  std::array<uint8_t, 4096> &Add(uint32_t bus, uint32_t device, uint32_t function, uint16_t vendor) {
    auto &space = functions[{bus, kvsys::PciSlotNumber(device, function)}];
    for (size_t i = 0; i < space.size(); ++i) space[i] = static_cast<uint8_t>(i * 7 + 1);
    space[0] = vendor & 0xff;
    space[1] = vendor >> 8;
    return space;
  }

  static uint32_t Get(void *context, uint32_t bus, uint32_t slot, void *buffer, uint32_t offset, uint32_t length) {
    auto *self = static_cast<FakeHal *>(context);
    ++self->gets;
    if (bus >= self->buses) return 0;
    auto it = self->functions.find({bus, slot});
    if (it == self->functions.end()) {
      if (offset != 0 || length < 2) return 0;
      std::memset(buffer, 0xff, 2);
      return 2;
    }
    if (offset >= self->reach) return 0;
    const uint32_t n = std::min(length, self->reach - offset);
    std::memcpy(buffer, it->second.data() + offset, n);
    return n;
  }

  static uint32_t Set(void *context, uint32_t bus, uint32_t slot, const void *buffer, uint32_t offset,
                      uint32_t length) {
    auto *self = static_cast<FakeHal *>(context);
    auto it = self->functions.find({bus, slot});
    if (it == self->functions.end() || offset + length > self->reach) return 0;
    const int index = static_cast<int>(self->writes.size());
    self->writes.push_back({offset, length});
    if (index == self->fail_write_at) return 0;
    std::memcpy(it->second.data() + offset, buffer, length);
    return length;
  }

  kvsys::HalBus Bus() { return {Get, Set, this}; }
};

kvsys::FunctionIndex Index(uint32_t bus, uint32_t device, uint32_t function) {
  return static_cast<kvsys::FunctionIndex>(bus << 8 | device << 3 | function);
}

TEST(HalMachine, ReadsWhatTheHalReturnsAndFfBeyond) {
  FakeHal hal;
  hal.buses = 2;
  const auto &space = hal.Add(1, 2, 3, 0x8086);
  kvsys::HalMachine machine(hal.Bus());

  std::vector<uint8_t> out(256);
  EXPECT_EQ(machine.Read(Index(1, 2, 3), 0, 256, out.data()), Access::kDone);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), space.begin()));
  EXPECT_EQ(hal.gets, 1) << "the header's read brings its vendor ID: a bus scan asks the HAL once a function";

  // Extended space that the HAL does not reach reads as 0xFF, and the request still succeeds.
  std::vector<uint8_t> ext(3840, 0);
  EXPECT_EQ(machine.Read(Index(1, 2, 3), 0x100, 3840, ext.data()), Access::kDone);
  EXPECT_TRUE(std::all_of(ext.begin(), ext.end(), [](uint8_t b) { return b == 0xff; }));

  // A HAL that reaches it returns it.
  hal.reach = 4096;
  EXPECT_EQ(machine.Read(Index(1, 2, 3), 0x100, 3840, ext.data()), Access::kDone);
  EXPECT_TRUE(std::equal(ext.begin(), ext.end(), space.begin() + 0x100));

  // A short answer: the rest is 0xFF, not whatever the buffer held.
  hal.reach = 64;
  std::fill(out.begin(), out.end(), 0);
  EXPECT_EQ(machine.Read(Index(1, 2, 3), 0, 256, out.data()), Access::kDone);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 64, space.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + 64, out.end(), [](uint8_t b) { return b == 0xff; }));
}

TEST(HalMachine, NothingAnsweringIsAbsent) {
  FakeHal hal;
  hal.Add(0, 0, 0, 0x8086);
  kvsys::HalMachine machine(hal.Bus());
  struct Case {
    uint32_t bus, device, function;
  };
  for (const Case &c : {Case{0, 1, 0}, Case{0, 0, 1}, Case{5, 0, 0}, Case{255, 31, 7}}) {
    std::vector<uint8_t> out(256, 0);
    EXPECT_EQ(machine.Read(Index(c.bus, c.device, c.function), 0, 256, out.data()), Access::kAbsent) << c.bus;
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xff; }));
    std::vector<uint8_t> ext(3840, 0);
    EXPECT_EQ(machine.Read(Index(c.bus, c.device, c.function), 0x100, 3840, ext.data()), Access::kAbsent) << c.bus;
    EXPECT_EQ(machine.Write(Index(c.bus, c.device, c.function), 0, 256, out.data()), Access::kAbsent);
  }
  EXPECT_TRUE(hal.writes.empty());
}

TEST(HalMachine, WritesBackOnlyDifferingRegistersHighestFirst) {
  FakeHal hal;
  auto &space = hal.Add(0, 4, 0, 0x10ec);
  space[0x0e] = 0x00;  // a device header
  kvsys::HalMachine machine(hal.Bus());
  std::array<uint8_t, 256> before;
  std::copy_n(space.begin(), 256, before.begin());

  std::array<uint8_t, 256> wanted = before;
  wanted[0x00] ^= 0xff;  // vendor ID: never written
  wanted[0x04] ^= 0x06;  // command
  wanted[0x07] ^= 0x80;  // status: never written
  wanted[0x10] ^= 0xf0;  // BAR0
  wanted[0x3c] ^= 0x0b;  // interrupt line
  wanted[0xa1] ^= 0x01;  // device-specific

  ASSERT_EQ(machine.Write(Index(0, 4, 0), 0, 256, wanted.data()), Access::kDone);
  const std::vector<Write> expected = {{0xa0, 4}, {0x3c, 4}, {0x10, 4}, {0x04, 2}};
  EXPECT_EQ(hal.writes, expected);
  // The same plan as the Linux driver's.
  std::vector<Write> plan;
  kvsys::VisitRestoreWrites(0, 256, before.data(), 256, wanted.data(), [&plan](const kvsys::RegisterWrite &w) {
    plan.push_back({w.offset, w.width});
    return true;
  });
  EXPECT_EQ(plan, expected);

  EXPECT_EQ(space[0x00], before[0x00]);
  EXPECT_EQ(space[0x07], before[0x07]);
  EXPECT_EQ(space[0x04], wanted[0x04]);
  EXPECT_EQ(space[0xa1], wanted[0xa1]);
}

// A saved image in which every register differs: the status registers stay unwritten, whatever the saved
// image holds, as the capability lists place them, and so do the registers whose write would act. A PCI
// Express capability has the link, slot and root registers of its device type, and the second ones from
// version 2 on.
TEST(RestorePlan, LeavesStatusRegistersAlone) {
  using Row = std::pair<unsigned, uint32_t>;  // width, value
  const struct {
    uint8_t header_type;
    uint8_t express[2];  // the PCI Express flags: version, device type, slot
    std::map<unsigned, Row> rows;
  } cases[] = {
      {0, {0x02, 0x00},  // an endpoint, version 2: no slot, no root status
       {{0x68, {4, ~0u}}, {0x70, {4, ~0u}}, {0x78, {2, 0xffff}}, {0x80, {2, 0xffff}}, {0x88, {2, 0xffff}},
        {0x1c, {4, ~0u}}, {0x3c, {4, ~0u}}}},
      {1, {0x41, 0x01},  // a root port with a slot, version 1, and a bridge's registers in the header
       {{0x68, {2, 0xffff}}, {0x70, {0, 0}}, {0x78, {4, ~0u}}, {0x80, {4, ~0u}}, {0x1c, {2, 0xffff}},
        {0x3c, {4, 0xfbffffff}}}},  // a bridge's discard timer status, written as 0
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.header_type);
    std::vector<uint8_t> present(4096, 0), wanted(4096, 0xff);
    present[0x0e] = c.header_type;
    wanted[0x06] = 0x10;  // a capability list: power management at 0x40, PCI Express at 0x50, VPD at 0x90
    wanted[0x34] = 0x40;
    const std::pair<unsigned, std::vector<uint8_t>> structures[] = {
        {0x40, {0x01, 0x50}}, {0x50, {0x10, 0x90, c.express[0], c.express[1]}}, {0x90, {0x03, 0x00}},
        {0x100, {0x01, 0x00, 0x01, 0x14}},  // AER, then DPC at 0x140 (with the root port extensions)
        {0x140, {0x1d, 0x00, 0x01, 0x00}}};
    for (const auto &[at, bytes] : structures) std::copy(bytes.begin(), bytes.end(), wanted.begin() + at);
    std::map<unsigned, Row> plan;
    for (const auto &[first, length] : {std::pair{0u, 256u}, std::pair{256u, 3840u}}) {
      kvsys::VisitRestoreWrites(first, length, present.data() + first, length, wanted.data() + first,
                                [&plan](const kvsys::RegisterWrite &w) {
                                  uint32_t value = 0;
                                  std::memcpy(&value, w.value, w.width);
                                  plan[w.offset] = {w.width, value};
                                  return true;
                                });
    }
    std::map<unsigned, Row> expected_rows = {
        {0x04, {2, 0xffff}},                      // command, not status
        {0x44, {0, 0}},                           // power management's control and status
        {0x58, {2, 0xffff}}, {0x60, {2, 0xffff}},  // device and link control, not their status
        {0x90, {0, 0}},      {0x94, {0, 0}},       // VPD's address and data
        {0x104, {0, 0}},     {0x108, {4, ~0u}},    {0x110, {0, 0}}, {0x130, {0, 0}},  // AER's error status
        {0x148, {0, 0}},     {0x14c, {0, 0}},      {0x150, {4, ~0u}},                  // DPC's
    };
    expected_rows.insert(c.rows.begin(), c.rows.end());
    for (const auto &[offset, row] : expected_rows) {
      const auto it = plan.find(offset);
      EXPECT_EQ((it == plan.end() ? Row{0, 0} : it->second), row) << std::hex << offset;
    }
  }
}

TEST(HalMachine, AWriteThatDoesNotGoThroughStopsTheRestore) {
  FakeHal hal;
  auto &space = hal.Add(0, 4, 0, 0x10ec);
  kvsys::HalMachine machine(hal.Bus());
  std::array<uint8_t, 256> wanted;
  std::copy_n(space.begin(), 256, wanted.begin());
  wanted[0x40] ^= 1;
  wanted[0x80] ^= 1;
  wanted[0xc0] ^= 1;
  hal.fail_write_at = 1;  // cppcheck-suppress unreadVariable ; read through hal.Bus()
  EXPECT_EQ(machine.Write(Index(0, 4, 0), 0, 256, wanted.data()), Access::kFailed);
  EXPECT_EQ(hal.writes, (std::vector<Write>{{0xc0, 4}, {0x80, 4}}));
}

// Extended space that the HAL does not reach reads as all ones: a saved image of all ones needs no write
// there, any other fails the restore.
TEST(HalMachine, UnreachableExtendedSpaceFailsOnlyARestoreThatNeedsIt) {
  FakeHal hal;
  hal.Add(0, 4, 0, 0x10ec);
  kvsys::HalMachine machine(hal.Bus());
  std::vector<uint8_t> wanted(3840, 0xff);
  EXPECT_EQ(machine.Write(Index(0, 4, 0), 0x100, 3840, wanted.data()), Access::kDone);
  wanted[0x200 - 0x100] = 0x5a;
  EXPECT_EQ(machine.Write(Index(0, 4, 0), 0x100, 3840, wanted.data()), Access::kFailed);
  EXPECT_TRUE(hal.writes.empty()) << "nothing landed";
}

// The machine the driver serves: the service value's, else the HAL when some device on bus 0 answers (it does
// not under Wine), else the demo machine; the HAL is asked only when the value leaves the choice open.
TEST(MachineChoice, ServiceValueFirstThenWhatTheHalReaches) {
  using enum kvsys::MachineKind;
  struct Case {
    const char *value;  // "": no value, or an empty one
    uint32_t buses;
    int device;                                  // -1: none on bus 0
    std::optional<kvsys::MachineKind> expected;  // none: the value is refused
  } cases[] = {
      {"", 0, -1, kDemo},    {"", 1, -1, kDemo},    {"", 1, 0, kHal},    {"", 1, 31, kHal},
      {"demo", 1, 3, kDemo}, {"DEMO", 0, -1, kDemo}, {"hal", 0, -1, kHal}, {"Hal", 1, 3, kHal},
      {"sysfs", 1, 3, kDump}, {"hal@0001", 1, 3, std::nullopt},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "value \"" << c.value << "\", device " << c.device);
    FakeHal hal;
    hal.buses = c.buses;
    if (c.device >= 0) hal.Add(0, static_cast<uint32_t>(c.device), 0, 0x1022);
    kvsys::MachineChoice choice;
    std::string why;
    EXPECT_EQ(kvsys::ChooseMachine(c.value, hal.Bus(), &choice, &why), c.expected.has_value());
    if (c.expected) {
      EXPECT_EQ(choice.kind, *c.expected);
    }
    EXPECT_EQ(hal.gets > 0, c.value[0] == 0);
  }
}

}  // namespace
