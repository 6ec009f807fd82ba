// Helpers of the kernel tests: environment overrides and child processes.
#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/test_files.h"

namespace kvtest {

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

void CopyFile(const std::string &from, const std::string &to);

// Replaces every "<DIR>" in `text` with `dir`.
std::string WithDir(std::string text, const std::string &dir);

}  // namespace kvtest
