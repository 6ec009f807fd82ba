#include "core/machine_choice.h"

namespace kvwin {

namespace {

bool SameWord(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != word[i]) return false;
  }
  return true;
}

}  // namespace

bool ChooseMachine(const MachineSetting &setting, const HalBus &bus, MachineKind *out) {
  if (setting.present && !setting.text.empty()) {
    if (SameWord(setting.text, "demo")) {
      *out = MachineKind::kDemo;
      return true;
    }
    if (SameWord(setting.text, "hal")) {
      *out = MachineKind::kHal;
      return true;
    }
    return false;
  }
  *out = HalReachesConfigSpace(bus) ? MachineKind::kHal : MachineKind::kDemo;
  return true;
}

const char *MachineKindName(MachineKind kind) { return kind == MachineKind::kHal ? "hal" : "demo"; }

}  // namespace kvwin
