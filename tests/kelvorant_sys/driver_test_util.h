// Helpers of the driver's tests: the copied lspci captures, local files for the core, request buffers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/requests.h"
#include "core/text_files.h"
#include "support/test_files.h"

namespace kvtest {

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
