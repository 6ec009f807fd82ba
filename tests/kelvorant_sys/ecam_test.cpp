// The ACPI table MCFG as the driver reads it: the ranges of segment group 0 it keeps, and each malformed
// table refused with the reason that names what is wrong. How the driver uses the ranges (the bus limits,
// the windows, the writes) is shown through the module (module_test.cpp).
#include <gtest/gtest.h>

#include <cstring>

#include "core/ecam.h"
#include "driver_test_util.h"

namespace {

using kvsys::EcamRange;
using kvtest::MakeMcfg;

std::vector<uint8_t> WithLength(std::vector<uint8_t> table, uint32_t length) {
  std::memcpy(table.data() + 4, &length, 4);
  return table;
}

TEST(Mcfg, KeepsTheRangesOfSegmentZeroAndRefusesMalformedTables) {
  const std::vector<uint8_t> two = MakeMcfg({{0xe0000000, 0, 0x00, 0x3f}, {0x3f000000000, 1, 0, 0xff},
                                             {0xf0000000, 0, 0x80, 0x80}});
  std::vector<uint8_t> revision_2 = two, renamed = two;
  revision_2[8] = 2;
  std::memcpy(renamed.data(), "MCFH", 4);
  std::vector<uint8_t> truncated = two;
  truncated.resize(two.size() - 16);
  std::vector<uint8_t> forty(two.begin(), two.begin() + 40);
  struct Case {
    const char *name;
    std::vector<uint8_t> table;
    std::vector<EcamRange> ranges;
    const char *why;
  } cases[] = {
      {"three entries", two, {{0xe0000000, 0x00, 0x3f}, {0xf0000000, 0x80, 0x80}}, ""},
      {"no entries", MakeMcfg({}), {}, ""},
      {"only another segment", MakeMcfg({{0xe0000000, 2, 0, 0xff}}), {}, ""},
      {"too short", forty, {}, "the firmware returned 40 bytes, less than its 44-byte header"},
      {"length below the header", WithLength(MakeMcfg({}), 43), {}, "its length 43 is less than its 44-byte header"},
      {"length beyond the buffer", truncated, {}, "its length 92 is beyond the 76 bytes the firmware returned"},
      {"entries not whole", WithLength(two, 84), {},
       "its length 84 leaves 40 bytes after the header, not a whole number of 16-byte entries"},
      {"end bus below start bus", MakeMcfg({{0xe0000000, 0, 0, 0xff}, {0xf0000000, 0, 0x20, 0x1f}}), {},
       "entry 1 ends at bus 1f, below its start bus 20"},
      {"end bus below start bus, other segment", MakeMcfg({{0xe0000000, 3, 0x20, 0x1f}}), {},
       "entry 0 ends at bus 1f, below its start bus 20"},
      {"base not aligned", MakeMcfg({{0xe0080000, 0, 0, 0xff}}), {},
       "entry 0 has the base address 0xe0080000, not 1 MB aligned or too high for its buses"},
      {"base wraps", MakeMcfg({{0xfffffffff0000000, 0, 0, 0xff}}), {},
       "entry 0 has the base address 0xfffffffff0000000, not 1 MB aligned or too high for its buses"},
      {"revision", revision_2, {}, "its revision is 2, not 1"},
      {"signature", renamed, {}, "its signature is not MCFG"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<EcamRange> ranges = {{1, 2, 3}};
    std::string why;
    EXPECT_EQ(kvsys::ParseMcfg(c.table.data(), c.table.size(), &ranges, &why), c.why[0] == 0);
    EXPECT_EQ(why, c.why);
    EXPECT_EQ(ranges, c.ranges);
  }
}

TEST(Mcfg, AWindowIsBusDeviceFunctionFromTheBaseOfBusZero) {
  const std::vector<EcamRange> ranges = {{0xe0000000, 0x00, 0x0f}, {0xc0000000, 0x10, 0x10}, {0xd0000000, 0x08, 0x1f}};
  struct Case { uint32_t bus, device, function; uint64_t window; } cases[] = {
      {0x00, 0, 0, 0xe0000000},
      {0x0f, 0x1f, 7, 0xe0000000 + (0x0full << 20) + (0x1f << 15) + (7 << 12)},
      {0x10, 0, 1, 0xc0000000 + (0x10ull << 20) + (1 << 12)},  // the base is bus 0's, not the start bus's
      {0x11, 2, 0, 0xd0000000 + (0x11ull << 20) + (2 << 15)},  // the first range that holds the bus
      {0x20, 0, 0, 0},
  };
  for (const Case &c : cases) EXPECT_EQ(kvsys::EcamWindowOf(ranges, c.bus, c.device, c.function), c.window) << c.bus;
}

}  // namespace
