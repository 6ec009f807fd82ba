// The files a machine is built from, read with the kernel's file routines (ZwCreateFile,
// ZwQueryInformationFile, ZwReadFile): a dump line by line, a machine file whole, each within the bounds of
// core/read_limits.h. A path is a Win32 path (C:\dumps\m.txt on Windows; on Linux the platform's paths are
// the Linux ones) and becomes the object name \??\PATH. Reasons are the texts a person knows from the shell:
// "cannot open: No such file or directory", "is a FIFO, not a regular file", "cannot read: Input/output
// error".
#pragma once
#include "core/text_files.h"

namespace kvsys {

class KernelTextFiles final : public TextFiles {
 public:
  bool ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                 std::string *why) override;
  bool ReadText(const std::string &path, std::string *text, std::string *why) override;
};

}  // namespace kvsys
