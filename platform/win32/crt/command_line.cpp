#include "command_line.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace kvplat {

namespace {

constexpr std::string_view kPrefix = "KELVORANT_";

bool IsVariableName(std::string_view name) {
  if (name.size() <= kPrefix.size() || name.substr(0, kPrefix.size()) != kPrefix) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

}  // namespace

void TakeCommandLineVariables(int *argc, char **argv) {
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    std::string_view argument = argv[i];
    size_t equals = argument.find('=');
    if (equals != std::string_view::npos && IsVariableName(argument.substr(0, equals))) {
      setenv(std::string(argument.substr(0, equals)).c_str(), argv[i] + equals + 1, 1);
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
  argv[kept] = nullptr;
}

}  // namespace kvplat
