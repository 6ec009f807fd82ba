// Which machine the driver serves, for every kind of service value and computer.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "core/machine_choice.h"

namespace {

using kvsys::MachineKind;

// A bus on which device 3 of bus 0 answers, or nothing at all; counts the probes.
struct ProbeBus {
  bool answers = false;
  int probes = 0;

  static uint32_t Get(void *context, uint32_t bus, uint32_t slot, void *buffer, uint32_t, uint32_t length) {
    auto *self = static_cast<ProbeBus *>(context);
    ++self->probes;
    if (!self->answers) return 0;  // as Wine's HAL: no such bus
    const uint16_t vendor = bus == 0 && slot == kvsys::PciSlotNumber(3, 0) ? 0x8086 : 0xffff;
    std::memcpy(buffer, &vendor, length < 2 ? length : 2);
    return 2;
  }
  static uint32_t Set(void *, uint32_t, uint32_t, const void *, uint32_t, uint32_t) { return 0; }
  kvsys::HalBus Bus() { return {Get, Set, this}; }
};

TEST(MachineChoice, ServiceValueFirstThenWhatTheHalReaches) {
  struct Case {
    bool present;
    const char *text;
    bool hal_answers;
    std::optional<MachineKind> expected;  // none: the value is refused
    bool probes;                          // whether the HAL is asked
  };
  const Case cases[] = {
      {false, "", true, MachineKind::kHal, true},      {false, "", false, MachineKind::kDemo, true},
      {true, "", true, MachineKind::kHal, true},       {true, "", false, MachineKind::kDemo, true},
      {true, "demo", true, MachineKind::kDemo, false}, {true, "DEMO", false, MachineKind::kDemo, false},
      {true, "hal", false, MachineKind::kHal, false},  {true, "Hal", true, MachineKind::kHal, false},
      {true, "sysfs", true, MachineKind::kDump, false}, {true, "hal@0001", true, std::nullopt, false},
  };
  for (const Case &c : cases) {
    ProbeBus probe{c.hal_answers};
    const kvsys::HalBus bus = probe.Bus();
    kvsys::MachineChoice choice;
    std::string why;
    const bool chosen = kvsys::ChooseMachine({c.present, c.text}, bus, &choice, &why);
    const std::string what = std::string(c.present ? "value \"" : "no value \"") + c.text + "\"";
    EXPECT_EQ(chosen, c.expected.has_value()) << what;
    if (c.expected && chosen) {
      EXPECT_EQ(choice.kind, *c.expected) << what;
    }
    EXPECT_EQ(probe.probes > 0, c.probes) << what;
  }
}

TEST(MachineChoice, ValuesNameAMachineFileADumpOrADomain) {
  struct Case {
    const char *text;
    MachineKind kind;
    const char *path;
    uint32_t domain;
  } cases[] = {
      {"demo@0001", MachineKind::kDemo, "", 1},
      {"/m/machine.json", MachineKind::kJson, "/m/machine.json", 0},
      {"C:\\dumps\\M.JSON@0002", MachineKind::kJson, "C:\\dumps\\M.JSON", 2},
      {"/m/dump.txt@10000", MachineKind::kDump, "/m/dump.txt", 0x10000},
      {"/m/dump@mine.txt", MachineKind::kDump, "/m/dump@mine.txt", 0},  // '@' without a domain is the name's
      {"/m/x@12", MachineKind::kDump, "/m/x@12", 0},
      {"./hal", MachineKind::kDump, "./hal", 0},
      {"demonstration", MachineKind::kDump, "demonstration", 0},
  };
  for (const auto &c : cases) {
    kvsys::MachineChoice choice;
    std::string why;
    ASSERT_TRUE(kvsys::ParseMachineValue(c.text, &choice, &why)) << c.text << ": " << why;
    EXPECT_EQ(choice.kind, c.kind) << c.text;
    EXPECT_EQ(choice.path, c.path) << c.text;
    EXPECT_EQ(choice.domain, c.domain) << c.text;
  }
  kvsys::MachineChoice choice;
  std::string why;
  EXPECT_FALSE(kvsys::ParseMachineValue("hal@0001", &choice, &why));
  EXPECT_EQ(why, "the HAL reaches PCI domain 0000 only, not 0001");
  EXPECT_FALSE(kvsys::ParseMachineValue("@0001", &choice, &why));
}

}  // namespace
