// How the core reads the files that a machine is built from. The core itself touches no file system: the
// driver reads them with the kernel's file routines (kernel_files.h).
#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace kvsys {

class TextFiles {
 public:
  virtual ~TextFiles() = default;
  // Calls on_line with every line of the file, without its "\n", and stops early when on_line returns
  // false. False with the reason (no file name) in *why when the file cannot be read.
  // A line or a file longer than the implementation reads is an error, and so is a failed read.
  virtual bool ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                         std::string *why) = 0;
  // The whole text of a file that is read at once (a machine file), each line ending in "\n". The default
  // joins ReadLines.
  virtual bool ReadText(const std::string &path, std::string *text, std::string *why);
};

// The folder part of a path ("" for a bare file name), for names relative to a file.
std::string FolderOf(const std::string &path);
std::string JoinPath(const std::string &folder, const std::string &name);

}  // namespace kvsys
