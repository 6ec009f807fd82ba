// The lspci dump reader, as the driver reads KELVORANT_MACHINE=FILE.txt: any text, then the machine built
// from it serving the program's requests.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/dump_reader.h"
#include "core/pci_regs.h"
#include "driver_test_util.h"
#include "fuzz_check.h"
#include "serve_requests.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace kvsys;
  const std::string_view text(reinterpret_cast<const char *>(data), size);

  const kvtest::DumpParse parse = kvtest::ParseDump(text);
  FUZZ_CHECK(parse.error.empty() == (parse.error_line == 0));
  for (const kvtest::DumpFunction &f : parse.functions) {
    FUZZ_CHECK(f.image.size() <= kExtendedSize);
    FUZZ_CHECK(ValidBdf(f.address.bus, f.address.device, f.address.function));
  }

  // The machine takes the functions of domain 0000, the last of each address.
  SimMachine machine(0);
  if (!parse.error.empty()) return 0;
  for (const kvtest::DumpFunction &f : parse.functions)
    if (f.address.domain == 0) machine.Put(f.address.Index(), f.image);
  FaultTable no_faults;
  kvfuzz::ServeEveryRequest(machine, no_faults);
  return 0;
}
