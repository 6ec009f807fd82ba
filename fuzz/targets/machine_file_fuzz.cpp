// The JSON machine-file reader, as the driver reads KELVORANT_MACHINE=FILE.json: any text as the file, the
// dump it names served from memory, then the machine with its fault rules serving the program's requests.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/machine_file.h"
#include "core/machine_choice.h"
#include "driver_test_util.h"
#include "fuzz_check.h"
#include "serve_requests.h"

namespace {

// A small capture for the file's "dump": a bridge with a capability chain and a PCI Express endpoint.
const char kDump[] =
    "00:1c.0 PCI bridge: a root port\n"
    "00: 86 80 10 2a 07 04 10 00 03 00 04 06 10 00 81 00\n"
    "10: 00 00 00 00 00 00 00 00 00 02 02 00 f0 00 00 20\n"
    "20: f0 ff 00 00 f1 ff 01 00 00 00 00 00 00 00 00 00\n"
    "30: 00 00 00 00 40 00 00 00 00 00 00 00 0b 01 00 00\n"
    "40: 10 80 41 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
    "\n"
    "02:00.0 Ethernet controller: an endpoint\n"
    "00: 86 80 2e 10 07 00 10 00 02 00 00 02 10 00 00 00\n"
    "30: 00 00 00 00 50 00 00 00 00 00 00 00 0b 01 00 00\n"
    "50: 05 70 80 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
    "70: 10 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
    "100: 01 00 01 14 00 00 00 00 00 00 00 00 00 00 00 00\n"
    "140: 03 00 01 00 00 00 00 00 00 00 00 00 00 00 00 00\n";

constexpr char kMachinePath[] = "machines/fuzz.json";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace kvsys;
  const std::string_view text(reinterpret_cast<const char *>(data), size);

  MachineFile parsed;
  std::string why;
  const bool parses = ParseMachineFile(text, &parsed, &why);
  FUZZ_CHECK(parses == why.empty());

  // The machine file is the fuzz input; every other path is the capture above, except "missing.txt".
  kvtest::TestFiles files([text](const std::string &path) -> std::optional<std::string> {
    if (path == "missing.txt" || path.ends_with("/missing.txt")) return std::nullopt;
    return std::string(path == kMachinePath ? text : kDump);
  });
  FaultTable faults;
  std::string load_why;
  auto machine = LoadJsonMachine(kMachinePath, 0, files, &faults, &load_why);
  if (!parses) {
    // The loader refuses the same file, naming it before the reason.
    FUZZ_CHECK(!machine && load_why == std::string(kMachinePath) + ": " + why);
    return 0;
  }
  if (!machine) {
    FUZZ_CHECK(parsed.dump.has_value() && load_why.find("missing.txt") != std::string::npos);
    return 0;
  }
  std::vector<PciAddress> fault_addresses;
  for (const FaultRule &rule : parsed.faults) fault_addresses.push_back(rule.address);
  kvfuzz::ServeEveryRequest(*machine, faults, fault_addresses);
  return 0;
}
