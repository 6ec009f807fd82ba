#include "core/hal_machine.h"

#include <cstring>
#include <utility>

#include "core/pci_regs.h"
#include "core/restore_plan.h"

namespace kvsys {

namespace {

constexpr uint16_t kInvalidVendorId = 0xffff;  // what an empty slot answers
constexpr uint32_t kDevicesPerBus = 32;

bool Present(const HalBus &bus, uint32_t bus_number, uint32_t slot) {
  uint16_t vendor = kInvalidVendorId;
  const uint32_t n = bus.get(bus.context, bus_number, slot, &vendor, kRegVendorId, sizeof vendor);
  return n == sizeof vendor && vendor != kInvalidVendorId;
}

// Reads [offset, offset + length) into out; what the HAL does not return is 0xFF. Returns the byte count
// that the HAL returned.
uint32_t ReadRange(const HalBus &bus, uint32_t bus_number, uint32_t slot, unsigned offset, unsigned length,
                   uint8_t *out) {
  uint32_t n = bus.get(bus.context, bus_number, slot, out, offset, length);
  if (n > length) n = length;
  std::memset(out + n, 0xff, length - n);
  return n;
}

}  // namespace

bool HalReachesConfigSpace(const HalBus &bus) {
  for (uint32_t device = 0; device < kDevicesPerBus; ++device) {
    uint16_t vendor = kInvalidVendorId;
    const uint32_t n = bus.get(bus.context, 0, PciSlotNumber(device, 0), &vendor, kRegVendorId, sizeof vendor);
    if (n == 0) return false;  // no bus 0 at all
    if (n == sizeof vendor && vendor != kInvalidVendorId) return true;
  }
  return false;
}

HalMachine::HalMachine(const HalBus &bus, EcamSpace ecam)
    : bus_(bus), ecam_(std::move(ecam)), present_(std::make_unique<uint8_t[]>(kExtendedSize)) {}
HalMachine::~HalMachine() = default;

Access HalMachine::Read(FunctionIndex fn, unsigned offset, unsigned length, uint8_t *out) {
  const PciAddress a = AddressOfIndex(0, fn);
  const uint32_t slot = PciSlotNumber(a.device, a.function);
  if (offset == kRegVendorId && length >= sizeof(uint16_t)) {
    // The read of the header brings the vendor ID along: one call to the HAL, not two.
    const uint32_t n = ReadRange(bus_, a.bus, slot, offset, length, out);
    if (n >= sizeof(uint16_t) && (out[0] != 0xff || out[1] != 0xff)) return Access::kDone;
    if (n != 0) std::memset(out, 0xff, n);
    return Access::kAbsent;
  }
  if (!Present(bus_, a.bus, slot)) {
    std::memset(out, 0xff, length);
    return Access::kAbsent;
  }
  // Extended space on a bus that MCFG maps goes through ECAM, the rest through the HAL.
  const uint64_t window = offset >= kStandardSize ? EcamWindowOf(ecam_.ranges, a.bus, a.device, a.function) : 0;
  if (!window) {
    ReadRange(bus_, a.bus, slot, offset, length, out);
    return Access::kDone;
  }
  const Access access = EcamRead(ecam_.memory, window, offset, length, out);
  if (access != Access::kDone) std::memset(out, 0xff, length);
  return access;
}

Access HalMachine::Write(FunctionIndex fn, unsigned offset, unsigned length, const uint8_t *data) {
  const PciAddress a = AddressOfIndex(0, fn);
  const uint32_t slot = PciSlotNumber(a.device, a.function);
  if (!Present(bus_, a.bus, slot)) return Access::kAbsent;
  if (length > kExtendedSize) length = kExtendedSize;
  const uint64_t window = offset >= kStandardSize ? EcamWindowOf(ecam_.ranges, a.bus, a.device, a.function) : 0;
  if (window) return EcamWrite(ecam_.memory, window, offset, length, data, present_.get());
  // What the HAL did not return reads as all ones: a saved register that differs is written there too, and
  // fails the request when the HAL cannot write it.
  const uint32_t known = ReadRange(bus_, a.bus, slot, offset, length, present_.get());
  const bool all_written = VisitRestoreWrites(offset, length, present_.get(), known, data, [&](const RegisterWrite &w) {
    return bus_.set(bus_.context, a.bus, slot, w.value, w.offset, w.width) == w.width;
  });
  return all_written ? Access::kDone : Access::kFailed;
}

bool HalMachine::Control(std::string_view, std::string *text) {
  *text = "the HAL machine has no test port";
  return false;
}

}  // namespace kvsys
