// The simulated hardware's test port, and the round trip it exists for: a reset function gets its settings
// back from a saved image.
#include <gtest/gtest.h>

#include "core/machine_choice.h"
#include "core/restore_plan.h"
#include "driver_test_util.h"

namespace {

TEST(TestPort, Commands) {
  struct Case { const char *command, *why; } cases[] = {  // why: "" when the command is done
      {"poke 00:1f.3 2 aa bb", ""},
      {"unplug 00:1f.3", ""},
      {"reset 0000:00:1f.3", ""},
      {"writes 00:1f.3", "none"},
      {"", "empty machine command"},
      {"jump 00:1f.3", "unknown machine command \"jump\" (reset, poke, unplug, plug or writes)"},
      {"reset", "usage: reset BB:DD.F"},
      {"poke 00:1f.3 10", "usage: poke BB:DD.F OFFSET XX [XX ...]"},
      {"reset 0:1f.3", "\"0:1f.3\" is not a PCI address (BB:DD.F or DDDD:BB:DD.F)"},
      {"reset 00:03.0", "no function 00:03.0 in this machine"},
      {"plug 0001:00:1f.3", "no function 0001:00:1f.3 in this machine (it serves domain 0000)"},
      {"poke 00:1f.3 zz 00", "poke: \"zz\" is not a hex offset 0-fff"},
      {"poke 00:1f.3 40 100", "poke: \"100\" is not a hex byte"},
      {"poke 00:1f.3 40 a", "poke: \"a\" is not a hex byte"},
      {"poke 00:1f.3 ff 00 00", "poke: 2 bytes at 0xff pass the end of the 256-byte image of 00:1f.3"},
  };
  auto m = kvsys::LoadDemoMachine(0);
  for (const auto &c : cases) {
    std::string why;
    EXPECT_EQ(m->Control(c.command, &why), c.why[0] == 0 || c.command[0] == 'w') << c.command;
    EXPECT_EQ(why, c.why) << c.command;
  }
}

TEST(TestPort, PokeUnplugPlug) {
  auto m = kvsys::LoadDemoMachine(0);
  const kvsys::FunctionIndex fn = 0x1f << 3 | 3;
  std::string why;
  ASSERT_TRUE(m->Control("poke 00:1f.3 2 aa bb", &why));
  EXPECT_EQ(m->Image(fn)[2], 0xaa);  // the device ID changes: the hardware ignores the masks
  EXPECT_EQ(m->Image(fn)[3], 0xbb);
  uint8_t byte = 0;
  m->Control("unplug 00:1f.3", &why);
  EXPECT_EQ(m->Read(fn, 0, 1, &byte), kvsys::Access::kAbsent);
  EXPECT_EQ(m->Write(fn, 0, 1, &byte), kvsys::Access::kAbsent);
  m->Control("plug 00:1f.3", &why);
  EXPECT_EQ(m->Read(fn, 0, 1, &byte), kvsys::Access::kDone);
  EXPECT_EQ(byte, 0x86);
}

// Every demo function: reset clears every writable and clearable bit and nothing else; writing the saved
// image back restores what the restore rules write, except for error bits, which a write can only clear,
// and leaves the rest as the reset left it.
TEST(TestPort, ResetThenRestoreEveryDemoFunction) {
  auto m = kvsys::LoadDemoMachine(0);
  ASSERT_EQ(m->function_count(), 22u);
  for (const kvsys::FunctionIndex fn : kvtest::FunctionsOf(*m)) {
    const std::string address = kvsys::FormatAddress(kvsys::AddressOfIndex(0, fn));
    const std::vector<uint8_t> saved(m->Image(fn).begin(), m->Image(fn).end());
    std::vector<uint8_t> writable, w1c;
    kvtest::MasksOf(*m, fn, &writable, &w1c);
    std::string why;
    ASSERT_TRUE(m->Control("reset " + address, &why));
    std::vector<uint8_t> expected(saved.size());
    for (size_t i = 0; i < saved.size(); ++i) {
      ASSERT_EQ(m->Image(fn)[i], saved[i] & ~(writable[i] | w1c[i])) << address << " byte " << i;
      expected[i] = m->Image(fn)[i];
    }
    std::vector<uint8_t> space(4096, 0xff);
    std::copy(saved.begin(), saved.end(), space.begin());
    for (const auto &[first, length] : {std::pair{0u, 256u}, std::pair{256u, 3840u}}) {
      const kvsys::RestoreRules rules(first, length, space.data() + first, saved[0x0e] & 0x7f);
      for (unsigned dword = first; dword < std::min<size_t>(first + length, saved.size()); dword += 4) {
        const kvsys::RegisterWrite part = rules.Part(dword);
        for (unsigned i = dword; i < dword + part.width && i < saved.size(); ++i) {
          const uint8_t written = part.value[i - dword];
          expected[i] = (expected[i] & ~written) | (saved[i] & ~w1c[i] & written);
        }
      }
    }
    m->Write(fn, 0, 256, space.data());
    m->Write(fn, 256, 3840, space.data() + 256);
    EXPECT_EQ(std::vector<uint8_t>(m->Image(fn).begin(), m->Image(fn).end()), expected) << address;
  }
}

}  // namespace
