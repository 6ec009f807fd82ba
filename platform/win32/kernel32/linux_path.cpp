// Win32 paths as Linux paths (kvplat/errno_map.h).
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "kvplat/errno_map.h"

namespace kvplat {

namespace {

struct Remembered {
  std::mutex mutex;
  std::vector<std::string> paths;
};

Remembered &Paths() {
  static auto *paths = new Remembered;  // read until the process ends
  return *paths;
}

// Both separators as one, so that a path compares whichever way Windows code wrote it.
std::string Folded(std::string path) {
  for (char &c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string Converted(std::string path) {
  for (char &c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

void RememberLinuxPath(const std::string &path) {
  if (path.empty()) return;
  Remembered &remembered = Paths();
  std::lock_guard<std::mutex> lock(remembered.mutex);
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  remembered.paths.push_back(trimmed);
}

std::string LinuxPath(const char *win32Path) {
  const std::string path = win32Path ? win32Path : "";
  std::vector<std::string> known;
  if (char *cwd = ::getcwd(nullptr, 0)) {
    known.push_back(cwd);
    std::free(cwd);
  }
  {
    Remembered &remembered = Paths();
    std::lock_guard<std::mutex> lock(remembered.mutex);
    known.insert(known.end(), remembered.paths.begin(), remembered.paths.end());
  }
  // The longest known path that the path begins with, as a whole component.
  const std::string folded = Folded(path);
  const std::string *best = nullptr;
  for (const std::string &k : known) {
    const std::string prefix = Folded(k);
    if (prefix == "\\" || folded.compare(0, prefix.size(), prefix) != 0) continue;
    if (folded.size() > prefix.size() && folded[prefix.size()] != '\\') continue;
    if (!best || k.size() > best->size()) best = &k;
  }
  if (!best) return Converted(path);
  return *best + Converted(path.substr(best->size()));
}

}  // namespace kvplat
