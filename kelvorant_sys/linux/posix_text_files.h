// TextFiles on the local file system: regular files only, within the bounds of host/read_limits.h (a dump
// line by line, a machine file whole).
#pragma once
#include "core/text_files.h"

namespace kvsys {

class PosixTextFiles final : public TextFiles {
 public:
  bool ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                 std::string *why) override;
  bool ReadText(const std::string &path, std::string *text, std::string *why) override;
};

}  // namespace kvsys
