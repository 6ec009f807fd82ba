#include "command_line.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace kvplat {

namespace {

constexpr std::string_view kPrefix = "KELVORANT_";

enum class Option { kMachine, kTrace, kUnprivileged, kHelp, kVersion };

struct OptionName {
  Option option;
  std::string_view name;  // --name
  char letter;            // -l, or 0
  bool takesArgument;
};

constexpr OptionName kOptions[] = {
    {Option::kMachine, "machine", 'm', true},  {Option::kTrace, "trace", 't', true},
    {Option::kUnprivileged, "unprivileged", 0, false}, {Option::kHelp, "help", 'h', false},
    {Option::kVersion, "version", 'V', false},
};

// The variables of the platform and the driver: an argument that names another is a mistake, not a variable
// nobody reads.
constexpr std::string_view kVariables[] = {"KELVORANT_MACHINE", "KELVORANT_TRACE",   "KELVORANT_UI",
                                           "KELVORANT_UI_SCRIPT", "KELVORANT_UI_DUMP", "KELVORANT_SCM_DIR"};

bool IsVariableName(std::string_view name) {
  if (name.size() <= kPrefix.size() || !name.starts_with(kPrefix)) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

// What the arguments say, before anything of it is set.
struct Reading {
  CommandLine line;
  std::vector<std::pair<std::string, std::string>> variables;  // in their order: the last of a name wins
  std::optional<std::string> machine;
  std::string machineArgument;  // the argument that named the machine, for the mistake of a second one
  std::optional<std::string> trace;

  bool Refuse(std::string mistake) {
    line.action = CommandLine::Action::kRefuse;
    line.mistake = std::move(mistake);
    return false;
  }

  bool SetMachine(std::string_view argument, std::string value) {
    if (machine) return Refuse("more than one machine: '" + machineArgument + "' and '" + std::string(argument) + "'");
    machine = std::move(value);
    machineArgument = argument;
    return true;
  }

  bool SetFile(std::string_view file) {
    if (file.empty()) return Refuse("an empty argument names no file");
    const bool plain = !file.starts_with('/') && !file.starts_with('.');
    return SetMachine(file, (plain ? "./" : "") + std::string(file));
  }

  // `spelled`: the option as given ("--trace", "-t"), for its mistakes.
  bool Set(const OptionName &option, const std::string &spelled, const char *argument) {
    if (option.takesArgument && !*argument) return Refuse("option '" + spelled + "' has an empty argument");
    switch (option.option) {
      case Option::kMachine:
        return SetMachine(argument, argument);
      case Option::kTrace:
        trace = argument;
        return true;
      case Option::kUnprivileged:
        line.unprivileged = true;
        return true;
      case Option::kHelp:
      case Option::kVersion:
        if (line.action == CommandLine::Action::kRun)
          line.action = option.option == Option::kHelp ? CommandLine::Action::kHelp : CommandLine::Action::kVersion;
        return true;
    }
    return true;
  }

  // "--name" or "--name=value"; `next` is where the following argument is, taken when it is the value.
  bool ReadLong(std::string_view argument, int *next, int argc, const char *const *argv) {
    const std::string_view body = argument.substr(2);
    const size_t equals = body.find('=');
    const std::string_view name = body.substr(0, equals);
    for (const OptionName &option : kOptions) {
      if (option.name != name) continue;
      const std::string spelled = "--" + std::string(name);
      if (!option.takesArgument) {
        if (equals != std::string_view::npos) return Refuse("option '" + spelled + "' doesn't allow an argument");
        return Set(option, spelled, "");
      }
      if (equals != std::string_view::npos) return Set(option, spelled, argument.data() + 2 + equals + 1);
      if (*next >= argc) return Refuse("option '" + spelled + "' requires an argument");
      return Set(option, spelled, argv[(*next)++]);
    }
    return Refuse("unrecognized option '" + std::string(argument) + "'");
  }

  // "-abc", each letter an option; one that takes an argument takes the rest of the word, or the next.
  bool ReadShort(std::string_view argument, int *next, int argc, const char *const *argv) {
    for (size_t i = 1; i < argument.size(); ++i) {
      const OptionName *found = nullptr;
      for (const OptionName &option : kOptions)
        if (option.letter && option.letter == argument[i]) found = &option;
      if (!found) return Refuse(std::string("invalid option -- '") + argument[i] + "'");
      const std::string spelled = std::string("-") + argument[i];
      if (!found->takesArgument) {
        if (!Set(*found, spelled, "")) return false;
        continue;
      }
      if (i + 1 < argument.size()) return Set(*found, spelled, argument.data() + i + 1);
      if (*next >= argc) return Refuse(std::string("option requires an argument -- '") + argument[i] + "'");
      return Set(*found, spelled, argv[(*next)++]);
    }
    return true;
  }

  bool Read(int argc, const char *const *argv) {
    bool options = true;
    for (int i = 1; i < argc;) {
      const char *text = argv[i++];
      const std::string_view argument = text;
      if (!options) {
        if (!SetFile(argument)) return false;
      } else if (argument == "--") {
        options = false;
      } else if (argument.starts_with("--")) {
        if (!ReadLong(argument, &i, argc, argv)) return false;
      } else if (argument.size() > 1 && argument[0] == '-') {
        if (!ReadShort(argument, &i, argc, argv)) return false;
      } else if (const size_t equals = argument.find('=');
                 equals != std::string_view::npos && argument.starts_with(kPrefix)) {
        if (!IsVariableName(argument.substr(0, equals)))
          return Refuse("'" + std::string(argument) + "' sets no variable: a name is KELVORANT_ and capitals, digits "
                        "or _ (a file named so is ./" + std::string(argument) + ")");
        const std::string_view name = argument.substr(0, equals);
        if (std::find(std::begin(kVariables), std::end(kVariables), name) == std::end(kVariables))
          return Refuse("'" + std::string(name) + "' is no variable of kelvorant (KELVORANT_MACHINE, KELVORANT_TRACE, "
                        "KELVORANT_UI, KELVORANT_UI_SCRIPT, KELVORANT_UI_DUMP or KELVORANT_SCM_DIR)");
        variables.emplace_back(argument.substr(0, equals), argument.substr(equals + 1));
      } else if (!SetFile(argument)) {
        return false;
      }
    }
    return true;
  }
};

}  // namespace

CommandLine ReadCommandLine(int argc, const char *const *argv) {
  Reading reading;
  if (!reading.Read(argc, argv)) return reading.line;
  for (const auto &[name, value] : reading.variables) setenv(name.c_str(), value.c_str(), 1);
  if (reading.machine) setenv("KELVORANT_MACHINE", reading.machine->c_str(), 1);
  if (reading.trace) setenv("KELVORANT_TRACE", reading.trace->c_str(), 1);
  return reading.line;
}

std::string EmptyVariable() {
  for (std::string_view name : kVariables) {
    const char *value = std::getenv(std::string(name).c_str());
    if (value && !*value && name != "KELVORANT_MACHINE") return std::string(name);
  }
  return "";
}

}  // namespace kvplat
