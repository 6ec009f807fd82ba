// The resource compiler: turns a resource script (and the headers and icon files it names) into binary
// resources laid out byte for byte as the GNU resource compiler lays them out in a .res file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "rsrc/rc_preprocessor.h"

namespace kvplat::rsrc {

// A resource type or name: a 16-bit ordinal, or a string.
struct ResId {
  bool named = false;
  uint16_t id = 0;
  std::u16string name;

  static ResId Ordinal(uint32_t id) { return ResId{false, static_cast<uint16_t>(id), {}}; }
  static ResId Name(std::u16string name) { return ResId{true, 0, std::move(name)}; }
  bool operator==(const ResId &o) const { return named == o.named && id == o.id && name == o.name; }
};

struct Resource {
  ResId type;
  ResId name;
  uint16_t language = 0;
  std::vector<uint8_t> data;
};

// Compiles the first file of `files` whose name ends in ".rc". On an error returns false and sets *error
// to "file:line: message".
bool CompileScript(const std::vector<ScriptFile> &files, std::vector<Resource> *out, std::string *error);

}  // namespace kvplat::rsrc
