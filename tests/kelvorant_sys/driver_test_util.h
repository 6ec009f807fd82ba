// Helpers of the driver's tests: temporary folders and files, the copied lspci captures, request buffers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/kelvorant_ioctl.h"
#include "core/text_files.h"

namespace kvtest {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string &path() const { return path_; }
  // Writes a file (creating its folders) and returns its full path.
  std::string Write(const std::string &name, const std::string &text) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string &path);
std::string Capture(const std::string &name);  // tests/data/lspci/<name>, as text
std::string CapturePath(const std::string &name);

// The core's file reading over the local file system, without the kernel's bounds and file rules (the
// module's tests and the end-to-end tests have those).
class LocalFiles : public kvsys::TextFiles {
 public:
  bool ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                 std::string *why) override;
};

// A zeroed request buffer of the right size for the code, with the address set.
std::vector<uint8_t> MakeRequest(uint32_t code, uint32_t bus, uint32_t device, uint32_t function);
uint32_t StatusOf(const std::vector<uint8_t> &request);
const uint8_t *DataOf(const std::vector<uint8_t> &request);
uint8_t *DataOf(std::vector<uint8_t> &request);

// An ACPI table MCFG (revision 1) with these entries, its length field the table's size.
struct McfgEntry {
  uint64_t base;
  uint16_t segment;
  uint8_t start_bus, end_bus;
};
std::vector<uint8_t> MakeMcfg(const std::vector<McfgEntry> &entries);

}  // namespace kvtest
