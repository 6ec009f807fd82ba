#include "serve_requests.h"

#include <cstring>
#include <string>

#include "core/device_control.h"
#include "driver_test_util.h"
#include "fuzz_check.h"

namespace kvfuzz {

namespace {

using namespace kvsys;

// One request of `kind` at the address, its buffer filled with `fill`; returns the outcome and leaves the
// buffer in *buffer. A request that is done carries its status word at the end of the buffer.
RequestOutcome Send(SimMachine &machine, FaultTable &faults, uint32_t code, const PciAddress &address, uint8_t fill,
                    std::vector<uint8_t> *buffer) {
  const RequestInfo &info = *FindRequestByCode(code);
  buffer->assign(info.size, fill);
  const uint32_t bdf[3] = {address.bus, address.device, address.function};
  std::memcpy(buffer->data(), bdf, sizeof bdf);
  RequestOutcome outcome =
      HandleDeviceControl(machine, faults, machine.domain(), info.code, buffer->data(), info.size, info.size);
  if (outcome.completion == Completion::kDone) {
    uint32_t status;
    std::memcpy(&status, buffer->data() + info.size - sizeof status, sizeof status);
    FUZZ_CHECK(status == outcome.status);
  }
  return outcome;
}

// A read that no fault rule touched gives the function's bytes, and 0xFF where the image ends.
void CheckRead(const SimMachine &machine, FunctionIndex fn, const RequestInfo &info,
               const std::vector<uint8_t> &buffer) {
  const std::span<const uint8_t> image = machine.Image(fn);
  for (uint32_t i = 0; i < info.size - kRequestAddressBytes - 4; ++i) {
    const size_t at = (info.extended ? 0x100 : 0) + i;
    const uint8_t expected = at < image.size() ? image[at] : 0xff;
    FUZZ_CHECK(buffer[kRequestAddressBytes + i] == expected);
  }
}

void ServeFunction(SimMachine &machine, FaultTable &faults, FunctionIndex fn) {
  const PciAddress address = AddressOfIndex(machine.domain(), fn);
  std::vector<uint8_t> buffer, writable, w1c;
  for (uint32_t read : {IOCTL_READ_CONFIG, IOCTL_READ_EXT_CONFIG}) {
    const RequestOutcome outcome = Send(machine, faults, read, address, 0, &buffer);
    if (faults.empty()) {
      FUZZ_CHECK(outcome.completion == Completion::kDone);
      CheckRead(machine, fn, *FindRequestByCode(read), buffer);
    }
  }

  kvtest::MasksOf(machine, fn, &writable, &w1c);
  const std::vector<uint8_t> before(machine.Image(fn).begin(), machine.Image(fn).end());
  FUZZ_CHECK(writable.size() == before.size() && w1c.size() == before.size());
  Send(machine, faults, IOCTL_WRITE_CONFIG, address, 0xff, &buffer);
  Send(machine, faults, IOCTL_WRITE_EXT_CONFIG, address, 0xff, &buffer);
  const std::span<const uint8_t> after = machine.Image(fn);
  FUZZ_CHECK(after.size() == before.size());
  for (size_t i = 0; i < before.size(); ++i) FUZZ_CHECK(((before[i] ^ after[i]) & ~(writable[i] | w1c[i])) == 0);

  Send(machine, faults, IOCTL_WRITE_CONFIG, address, 0x00, &buffer);
  Send(machine, faults, IOCTL_WRITE_EXT_CONFIG, address, 0x00, &buffer);
  std::string why;
  FUZZ_CHECK(machine.Control("reset " + FormatAddress(address), &why));
}

}  // namespace

void ServeEveryRequest(SimMachine &machine, FaultTable &faults, const std::vector<PciAddress> &more) {
  const std::vector<FunctionIndex> functions = kvtest::FunctionsOf(machine);
  for (size_t i = 0; i < functions.size() && i < kMaxFunctions; ++i) ServeFunction(machine, faults, functions[i]);
  std::vector<uint8_t> buffer;
  for (size_t i = 0; i < more.size() && i < kMaxFunctions; ++i)
    for (uint32_t code : {IOCTL_READ_CONFIG, IOCTL_WRITE_CONFIG, IOCTL_READ_EXT_CONFIG, IOCTL_WRITE_EXT_CONFIG})
      Send(machine, faults, code, more[i], 0x5a, &buffer);
}

}  // namespace kvfuzz
