// Helpers of the kernel tests: temporary folders, environment overrides and child processes.
#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets environment variables for the life of the object and restores them after.
class EnvOverride {
 public:
  EnvOverride() = default;
  ~EnvOverride();
  EnvOverride(const EnvOverride &) = delete;
  EnvOverride &operator=(const EnvOverride &) = delete;
  void Set(const std::string &name, const std::optional<std::string> &value);  // nullopt unsets

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

struct ChildOptions {
  std::string cwd;
  std::vector<std::pair<std::string, std::optional<std::string>>> env;  // nullopt unsets
};

struct ChildResult {
  int exitCode = -1;  // -1 when ended by a signal
  std::string out;  // standard output, whole
  std::string err;  // standard error, whole
};

// Runs argv[0] with its arguments and waits for it. A child that cannot exec exits with 126.
ChildResult RunChild(const std::vector<std::string> &argv, const ChildOptions &options);

std::string ReadText(const std::string &path);
void WriteText(const std::string &path, const std::string &text);
void CopyFile(const std::string &from, const std::string &to);

// Replaces every "<DIR>" in `text` with `dir`.
std::string WithDir(std::string text, const std::string &dir);

}  // namespace kvtest
