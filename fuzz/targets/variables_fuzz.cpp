// The command line and the platform's variables, as a launcher, a user or a hostile environment hands them
// over: any bytes as the arguments (separated by NUL), read by ReadCommandLine as the start-up reads argv,
// and again each as a FILE after "--"; then every parser of a variable's value over each value so set and
// over every argument as it is.
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

// Every variable that the command line could set, unset, so that what the reading sets can be told.
std::vector<std::string> NamesItCouldSet(const std::vector<std::string> &arguments) {
  std::vector<std::string> names = {"KELVORANT_MACHINE", "KELVORANT_TRACE"};
  for (const std::string &argument : arguments)
    if (argument.starts_with("KELVORANT_") && argument.find('=') != std::string::npos)
      names.push_back(argument.substr(0, argument.find('=')));
  for (const std::string &name : names) unsetenv(name.c_str());
  return names;
}

// Where the options end: at the first "--" that is not the argument of the option before it, as getopt reads
// them ("-t --" traces to a file named "--").
size_t OptionsEnd(const std::vector<std::string> &arguments) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string &argument = arguments[i];
    if (argument == "--") return i;
    // "--trace" and "--machine" without "=", or a cluster of short options that ends in -t or -m.
    const bool shortCluster = argument.size() > 1 && argument[0] == '-' && argument[1] != '-';
    const size_t takes = shortCluster ? argument.find_first_of("tm", 1) : std::string::npos;
    if (argument == "--trace" || argument == "--machine" || (takes != std::string::npos && takes + 1 == argument.size()))
      ++i;
  }
  return arguments.size();
}

kvplat::CommandLine Read(const std::vector<std::string> &arguments) {
  std::vector<const char *> argv = {"kelvorant"};
  for (const std::string &argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  return kvplat::ReadCommandLine(static_cast<int>(argv.size()) - 1, argv.data());
}

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
  using Action = kvplat::CommandLine::Action;

  // After "--" every argument is a FILE: one names a file, never a word of KELVORANT_MACHINE, with its
  // domain; an empty one or a second one is refused.
  std::vector<std::string> files = {"--"};
  files.insert(files.end(), arguments.begin(), arguments.end());
  std::vector<std::string> names = NamesItCouldSet(arguments);
  kvplat::CommandLine line = Read(files);
  const char *machineText = std::getenv("KELVORANT_MACHINE");
  FUZZ_CHECK(line.action == Action::kRun || line.action == Action::kRefuse);
  FUZZ_CHECK((line.action == Action::kRefuse) == (arguments.size() > 1 || (arguments.size() == 1 && arguments[0].empty())));
  FUZZ_CHECK((machineText != nullptr) == (line.action == Action::kRun && arguments.size() == 1));
  if (machineText) {
    kvplat::MachineVariable machine;
    std::string why;
    FUZZ_CHECK(kvplat::ParseMachineVariable(machineText, &machine, &why));
    FUZZ_CHECK(machine.kind == kvplat::MachineVariable::Kind::kValue && !machine.file.empty());
    FUZZ_CHECK(std::string_view(machineText).ends_with(arguments[0]));
    kvsys::MachineChoice choice;
    FUZZ_CHECK(!kvsys::ParseMachineValue(machine.value, &choice, &why) ||
               (choice.kind != kvsys::MachineKind::kHal && choice.kind != kvsys::MachineKind::kDemo));
  }
  for (const std::string &name : names) unsetenv(name.c_str());

  // As given: a refused line sets nothing, and says why; else each KELVORANT_NAME=VALUE argument before
  // "--" is in the environment, the last of a name winning, unless an option names the same variable.
  names = NamesItCouldSet(arguments);
  line = Read(arguments);
  FUZZ_CHECK((line.action == Action::kRefuse) != line.mistake.empty());
  if (line.action == Action::kRefuse) {
    for (const std::string &name : names) FUZZ_CHECK(std::getenv(name.c_str()) == nullptr);
  } else {
    // An argument that is no variable may be an option or the FILE, which set MACHINE or TRACE over it.
    bool others = false;
    for (const std::string &argument : arguments)
      others = others || !argument.starts_with("KELVORANT_") || argument.find('=') == std::string::npos;
    const size_t end = OptionsEnd(arguments);
    for (size_t i = 0; i < end; ++i) {
      const std::string &argument = arguments[i];
      const size_t equals = argument.find('=');
      if (!argument.starts_with("KELVORANT_") || equals == std::string::npos) continue;
      if (i > 0 && arguments[i - 1].starts_with("-")) continue;  // perhaps the value of an option
      const std::string name = argument.substr(0, equals);
      bool last = true;
      for (size_t j = i + 1; j < end; ++j)
        if (arguments[j].starts_with(name + "=")) last = false;
      const char *value = std::getenv(name.c_str());
      FUZZ_CHECK(value != nullptr);
      if (last && !(others && (name == "KELVORANT_MACHINE" || name == "KELVORANT_TRACE")))
        FUZZ_CHECK(argument.substr(equals + 1) == value);
    }
  }

  for (const VariableParser &parser : kParsers) {
    if (const char *value = std::getenv(parser.variable)) parser.check(value);
    for (const std::string &argument : arguments) parser.check(argument.c_str());
  }
  for (const std::string &name : names) unsetenv(name.c_str());
  return 0;
}
