// Files of every test folder: fresh folders that go away with everything in them, and whole files as text.
#pragma once
#include <string>
#include <string_view>

namespace kvtest {

// A fresh folder PREFIX-XXXXXX under $TMPDIR (or /tmp), removed with everything in it at destruction.
class TempDir {
 public:
  explicit TempDir(std::string_view prefix = "kelvorant-test");
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }
  // Writes a file (creating its folders) and returns its full path.
  std::string Write(const std::string &name, const std::string &text) const;

 private:
  std::string path_;
};

// The whole file; empty when it cannot be read.
std::string ReadText(const std::string &path);
// Replaces the file's text (creating it).
void WriteText(const std::string &path, const std::string &text);

}  // namespace kvtest
