#include "linux/posix_text_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kvsys {

bool PosixTextFiles::ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                               std::string *why) {
  FILE *file = std::fopen(path.c_str(), "re");
  if (!file) {
    *why = std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  // Lines are read one at a time so that a dump of a whole machine never sits in memory as text.
  char *line = nullptr;
  size_t capacity = 0;
  ssize_t length;
  bool go_on = true;
  while (go_on && (length = getline(&line, &capacity, file)) >= 0) {
    std::string_view text(line, static_cast<size_t>(length));
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    go_on = on_line(text);
  }
  const bool failed = go_on && std::ferror(file);
  const int error = errno;
  std::free(line);
  std::fclose(file);
  if (failed) {
    *why = std::string("cannot read: ") + std::strerror(error);
    return false;
  }
  return true;
}

}  // namespace kvsys
