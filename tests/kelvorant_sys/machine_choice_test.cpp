// Which machine the Windows driver serves, for every kind of service value and computer.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "core/machine_choice.h"

namespace {

// A bus on which device 3 of bus 0 answers, or nothing at all; counts the probes.
struct ProbeBus {
  bool answers = false;
  int probes = 0;

  static uint32_t Get(void *context, uint32_t bus, uint32_t slot, void *buffer, uint32_t, uint32_t length) {
    auto *self = static_cast<ProbeBus *>(context);
    ++self->probes;
    if (!self->answers) return 0;  // as Wine's HAL: no such bus
    const uint16_t vendor = bus == 0 && slot == kvwin::PciSlotNumber(3, 0) ? 0x8086 : 0xffff;
    std::memcpy(buffer, &vendor, length < 2 ? length : 2);
    return 2;
  }
  static uint32_t Set(void *, uint32_t, uint32_t, const void *, uint32_t, uint32_t) { return 0; }
  kvwin::HalBus Bus() { return {Get, Set, this}; }
};

TEST(MachineChoice, ServiceValueFirstThenWhatTheHalReaches) {
  using kvwin::MachineKind;
  struct Case {
    bool present;
    const char *text;
    bool hal_answers;
    std::optional<MachineKind> expected;  // none: the value is refused
    bool probes;                          // whether the HAL is asked
  };
  const Case cases[] = {
      {false, "", true, MachineKind::kHal, true},     {false, "", false, MachineKind::kDemo, true},
      {true, "", true, MachineKind::kHal, true},      {true, "", false, MachineKind::kDemo, true},
      {true, "demo", true, MachineKind::kDemo, false}, {true, "DEMO", false, MachineKind::kDemo, false},
      {true, "hal", false, MachineKind::kHal, false},  {true, "Hal", true, MachineKind::kHal, false},
      {true, "sysfs", true, std::nullopt, false},      {true, "demo ", false, std::nullopt, false},
      {true, "de", false, std::nullopt, false},
  };
  for (const Case &c : cases) {
    ProbeBus probe{c.hal_answers};
    const kvwin::HalBus bus = probe.Bus();
    MachineKind kind = MachineKind::kHal;
    const bool chosen = kvwin::ChooseMachine({c.present, c.text}, bus, &kind);
    const std::string what = std::string(c.present ? "value \"" : "no value \"") + c.text + "\"";
    EXPECT_EQ(chosen, c.expected.has_value()) << what;
    if (c.expected && chosen) {
      EXPECT_EQ(kind, *c.expected) << what;
    }
    EXPECT_EQ(probe.probes > 0, c.probes) << what;
  }
}

}  // namespace
