// TextFiles on the local file system.
#pragma once
#include "core/text_files.h"

namespace kvsys {

class PosixTextFiles final : public TextFiles {
 public:
  bool ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                 std::string *why) override;
};

}  // namespace kvsys
