// The SDK constants that a resource script may name (window, dialog, control and list-view styles,
// dialog ids, languages, version flags). The compiler knows them itself instead of reading the SDK
// headers that a script includes with #include <...>.
#pragma once
#include <cstdint>
#include <string>

namespace kvplat::rsrc {

struct SdkSymbol {
  const char *name;
  uint32_t value;
  const char *text;  // a string constant (a window class name), else null
};

const SdkSymbol *FindSdkSymbol(const std::string &name);

}  // namespace kvplat::rsrc
