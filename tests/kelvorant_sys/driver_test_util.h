// Helpers of the driver's tests and fuzz targets: the copied lspci captures, whole dumps, local files for the
// core, a look into a simulated machine, request buffers.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_control.h"
#include "core/machine_choice.h"
#include "support/test_files.h"

namespace kvtest {

std::string Capture(const std::string &name);  // tests/data/lspci/<name>, as text
std::string CapturePath(const std::string &name);

// A whole dump text through the driver's reader: every function in order, or where and why it stopped.
struct DumpFunction {
  kvsys::PciAddress address;
  std::vector<uint8_t> image;
};
struct DumpParse {
  std::vector<DumpFunction> functions;
  std::string error;  // empty when the text is well formed
  size_t error_line = 0;
};
DumpParse ParseDump(std::string_view text);

// The core's file reading over whole texts, without the kernel's bounds and file rules (the module's tests
// and the end-to-end tests have those): `text_of` gives a file's text, nothing for a file that is not there.
class TestFiles : public kvsys::TextFiles {
 public:
  using TextOf = std::function<std::optional<std::string>(const std::string &path)>;
  explicit TestFiles(TextOf text_of) : text_of_(std::move(text_of)) {}
  bool ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                 std::string *why) override;
  bool ReadText(const std::string &path, std::string *text, std::string *why) override;

 private:
  TextOf text_of_;
};
std::optional<std::string> LocalFile(const std::string &path);  // the local file system's

// Every function present in the machine, in index order, and the masks in force for one.
std::vector<kvsys::FunctionIndex> FunctionsOf(const kvsys::SimMachine &machine);
void MasksOf(const kvsys::SimMachine &machine, kvsys::FunctionIndex fn, std::vector<uint8_t> *writable,
             std::vector<uint8_t> *w1c);

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
