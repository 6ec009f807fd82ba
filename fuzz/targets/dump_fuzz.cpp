// The lspci dump reader, as the driver reads KELVORANT_MACHINE=FILE.txt: any text, then the machine built
// from it serving the program's requests.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/dump_reader.h"
#include "core/pci_regs.h"
#include "core/sim_loaders.h"
#include "fuzz_check.h"
#include "serve_requests.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace kvsys;
  const std::string_view text(reinterpret_cast<const char *>(data), size);

  const DumpParse parse = ParseDump(text);
  FUZZ_CHECK(parse.error.empty() == (parse.error_line == 0));
  for (const DumpFunction &f : parse.functions) {
    FUZZ_CHECK(f.image.size() <= kExtendedSize);
    FUZZ_CHECK(ValidBdf(f.address.bus, f.address.device, f.address.function));
  }

  // The machine takes the same functions (those of domain 0000) and stops at the same line.
  SimMachine machine(0);
  std::string why;
  const bool added = AddDumpText(machine, text, &why);
  FUZZ_CHECK(added == parse.error.empty());
  if (!added) {
    FUZZ_CHECK(why == "line " + std::to_string(parse.error_line) + ": " + parse.error);
    return 0;
  }
  FaultTable no_faults;
  kvfuzz::ServeEveryRequest(machine, no_faults);
  return 0;
}
