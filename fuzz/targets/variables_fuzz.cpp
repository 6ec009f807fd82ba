// The platform's variables, as a launcher or a hostile environment hands them over: any bytes as the
// command line (arguments separated by NUL), taken by TakeCommandLineVariables as the start-up takes argv,
// then every parser of a variable's value over each value so set and over every argument as it is.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "core/machine_choice.h"
#include "fuzz_check.h"
#include "host/privileges.h"
#include "kvplat/kernel.h"

namespace {

// KELVORANT_MACHINE: sysfs and its folder for the HAL, anything else the driver's Machine value, read by the
// driver's parser as the service key hands it over. A text that names no machine is refused with a reason:
// it is never taken for "unset", which would serve this computer.
void CheckMachineVariable(const char *text) {
  using Kind = kvplat::MachineVariable::Kind;
  kvplat::MachineVariable machine;
  std::string refused;
  if (!kvplat::ParseMachineVariable(text, &machine, &refused)) {
    FUZZ_CHECK(refused.starts_with("KELVORANT_MACHINE"));
    return;
  }
  FUZZ_CHECK(machine.kind != Kind::kDefault);
  FUZZ_CHECK(machine.kind != Kind::kSysfs || !machine.sysfsRoot.empty());
  // The file is the text before @DDDD, with ./ before it where the driver would take it for a word.
  FUZZ_CHECK(machine.file.empty() || std::string_view(text).starts_with(machine.file) ||
             ("./" + std::string(text)).starts_with(machine.file));
  FUZZ_CHECK(machine.domain <= 0xFFFFF);
  FUZZ_CHECK((machine.kind == Kind::kValue) != machine.value.empty());
  FUZZ_CHECK(machine.kind == Kind::kSysfs || machine.sysfsRoot.empty());
  if (machine.kind != Kind::kValue) return;
  // The value is the text itself, or ./TEXT where the driver would read the text as a word of its own; the
  // driver serves this computer only for sysfs, never for a value, and the domain the platform shows.
  FUZZ_CHECK(std::string_view(machine.value).ends_with(text));
  kvsys::MachineChoice choice;
  std::string why;
  if (!kvsys::ParseMachineValue(machine.value, &choice, &why)) return;
  FUZZ_CHECK(choice.kind != kvsys::MachineKind::kHal && choice.domain == machine.domain);
}

// One parser of a variable's text, with what must hold for any text. A parser of another variable goes
// in as one more row.
struct VariableParser {
  const char *variable;
  void (*check)(const char *text);
};
// SUDO_UID, SUDO_GID, PKEXEC_UID: decimal digits only, below (uid_t)-1, which names no user.
void CheckUserId(const char *text) {
  uint32_t id = 0;
  if (!kvhost::ParseId(text, &id)) return;
  const std::string_view digits = text;
  FUZZ_CHECK(!digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos);
  FUZZ_CHECK(id != static_cast<uint32_t>(-1) && std::to_string(id) == digits.substr(std::min(digits.find_first_not_of('0'), digits.size() - 1)));
}

const VariableParser kParsers[] = {
    {"KELVORANT_MACHINE", CheckMachineVariable},
    {"SUDO_UID", CheckUserId},
    {"SUDO_GID", CheckUserId},
    {"PKEXEC_UID", CheckUserId},
};

constexpr size_t kMaxArguments = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The arguments, NUL-terminated as the kernel hands them over.
  std::vector<std::string> arguments;
  std::string_view rest(reinterpret_cast<const char *>(data), size);
  while (!rest.empty() && arguments.size() < kMaxArguments) {
    const size_t end = rest.find('\0');
    arguments.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  std::vector<char *> argv = {const_cast<char *>("kelvorant")};
  for (std::string &argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const std::vector<char *> given = argv;

  int argc = static_cast<int>(argv.size()) - 1;
  kvplat::TakeCommandLineVariables(&argc, argv.data());

  // The arguments kept are the others, in their order; each taken one is in the environment, the last of a
  // name winning.
  FUZZ_CHECK(argc >= 1 && argv[argc] == nullptr && argv[0] == given[0]);
  std::vector<std::string> names;
  for (size_t i = 1, kept = 1; i + 1 < given.size(); ++i) {
    if (kept < static_cast<size_t>(argc) && argv[kept] == given[i]) {
      ++kept;
      continue;
    }
    const std::string_view taken = given[i];
    const size_t equals = taken.find('=');
    FUZZ_CHECK(equals != std::string_view::npos && taken.starts_with("KELVORANT_"));
    names.emplace_back(taken.substr(0, equals));
    const char *value = std::getenv(names.back().c_str());
    FUZZ_CHECK(value != nullptr);
    bool last = true;
    for (size_t j = i + 1; j + 1 < given.size(); ++j)
      if (std::string_view(given[j]).starts_with(taken.substr(0, equals + 1))) last = false;
    if (last) FUZZ_CHECK(taken.substr(equals + 1) == value);
  }

  for (const VariableParser &parser : kParsers) {
    if (const char *value = std::getenv(parser.variable)) parser.check(value);
    for (const std::string &argument : arguments) parser.check(argument.c_str());
  }
  for (const std::string &name : names) unsetenv(name.c_str());
  return 0;
}
