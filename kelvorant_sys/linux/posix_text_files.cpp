#include "linux/posix_text_files.h"

#include "host/host_files.h"
#include "host/read_limits.h"

namespace kvsys {

bool PosixTextFiles::ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                               std::string *why) {
  return kvhost::ReadInputLines(path, kvhost::kMaxLineBytes, kvhost::kMaxDumpBytes, on_line, why);
}

bool PosixTextFiles::ReadText(const std::string &path, std::string *text, std::string *why) {
  return kvhost::ReadInput(path, kvhost::kMaxMachineFileBytes, text, why);
}

}  // namespace kvsys
