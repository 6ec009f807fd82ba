#include "core/restore_plan.h"

#include "core/capability_lists.h"

namespace kvsys {

namespace {

// Capabilities with registers that a restore leaves alone, and those registers' offsets from the
// capability's start (PCI Local Bus, PCI-X 2.0, PCI Express Base specifications).
constexpr uint8_t kCapPowerManagement = 0x01;  // +4: control and status, with the power state
constexpr uint8_t kCapVpd = 0x03;              // +2: address and flag, +4: data
constexpr uint8_t kCapPciX = 0x07;             // +4: status; a bridge's secondary status at +2
constexpr uint8_t kCapPciExpress = 0x10;
constexpr uint16_t kExtCapAer = 0x0001;        // +4, +0x10: error status; +0x30: root error status
constexpr uint16_t kExtCapSriov = 0x0010;      // +8: control, and status above it
constexpr uint16_t kExtCapSecondaryPcie = 0x0019;  // +8: lane error status
constexpr uint16_t kExtCapDpc = 0x001d;        // +8: status; +0xc: RP PIO status, with the RP extensions

// The PCI Express capability: its flags, the control registers with their status above them, the root status.
constexpr unsigned kExpFlags = 0x02;     // bits 3:0 the capability's version, 7:4 the device type, 8 a slot
constexpr unsigned kExpDevice = 0x08, kExpLink = 0x10, kExpSlot = 0x18, kExpRootStatus = 0x20;
constexpr unsigned kExpDevice2 = 0x28, kExpLink2 = 0x30, kExpSlot2 = 0x38;  // from version 2 on
enum : unsigned {
  kTypeEndpoint = 0x0, kTypeLegacyEndpoint = 0x1, kTypeRootPort = 0x4, kTypeUpstream = 0x5,
  kTypeDownstream = 0x6, kTypePcieToPciBridge = 0x7, kTypePciToPcieBridge = 0x8, kTypeRootEventCollector = 0xa,
};

uint32_t Load(const uint8_t *image, unsigned first, unsigned length, unsigned at, unsigned width) {
  uint32_t v = 0;
  for (unsigned i = 0; i < width; ++i)
    v |= uint32_t{at + i >= first && at + i < first + length ? image[at + i - first] : uint8_t{0xff}} << (8 * i);
  return v;
}

}  // namespace

RestoreRules::RestoreRules(unsigned first, unsigned length, const uint8_t *image, uint8_t header_type)
    : header_type_(header_type) {
  if (first < kStandardSize && (Load(image, first, length, kRegStatus, 2) & kStatusCapList))
    StandardCapabilities(first, length, image, header_type == kHeaderCardBus ? kRegCardBusCapPtr : kRegCapabilityPtr);
  if (first + length > kStandardSize) ExtendedCapabilities(first, length, image);
}

void RestoreRules::StandardCapabilities(unsigned first, unsigned length, const uint8_t *image, unsigned pointer) {
  const auto read = [&](unsigned at, unsigned width) { return Load(image, first, length, at, width); };
  ForEachCapability(read, pointer, [&](unsigned at, uint8_t id) {
    const unsigned dword = at / 4;  // at + 4 is at most 0x100, one past the standard space's dwords
    switch (id) {
      case kCapPowerManagement:
        unwritten_[dword + 1] = true;
        break;
      case kCapVpd:
        unwritten_[dword] = unwritten_[dword + 1] = true;
        break;
      case kCapPciX:
        if (header_type_ == kHeaderBridge) unwritten_[dword] = true;  // its secondary status beside the header
        unwritten_[dword + 1] = true;
        break;
      case kCapPciExpress:
        PciExpress(first, length, image, at);
        break;
      default:
        break;
    }
  });
}

void RestoreRules::PciExpress(unsigned first, unsigned length, const uint8_t *image, unsigned at) {
  const uint32_t flags = Load(image, first, length, at + kExpFlags, 2);
  const unsigned type = flags >> 4 & 0xf;
  const bool link = type == kTypeEndpoint || type == kTypeLegacyEndpoint || type == kTypeRootPort ||
                    type == kTypeUpstream || type == kTypeDownstream || type == kTypePcieToPciBridge ||
                    type == kTypePciToPcieBridge;
  const bool downstream = type == kTypeRootPort || type == kTypeDownstream || type == kTypePciToPcieBridge;
  const bool slot = downstream && (flags & 0x100);
  const bool version2 = (flags & 0xf) >= 2;
  const auto control = [&](unsigned reg, bool present) {
    if (present && at + reg < kStandardSize) low_half_[(at + reg) / 4] = true;
  };
  control(kExpDevice, true);
  control(kExpLink, link);
  control(kExpSlot, slot);
  if ((type == kTypeRootPort || type == kTypeRootEventCollector) && at + kExpRootStatus < kStandardSize)
    unwritten_[(at + kExpRootStatus) / 4] = true;
  control(kExpDevice2, version2);
  control(kExpLink2, version2);
  control(kExpSlot2, version2);
}

void RestoreRules::ExtendedCapabilities(unsigned first, unsigned length, const uint8_t *image) {
  const auto read = [&](unsigned at, unsigned width) { return Load(image, first, length, at, width); };
  ForEachExtendedCapability(read, [&](unsigned at, uint32_t header) {
    const unsigned next = (header >> kExtCapNextShift) & kExtCapNextMask;
    const auto leave = [&](unsigned reg) {
      if (at + reg < kExtendedSize) unwritten_[(at + reg) / 4] = true;
    };
    switch (header & 0xffff) {
      case kExtCapAer:
        leave(0x04);
        leave(0x10);
        if (next == 0 || next >= at + 0x34) leave(0x30);  // a root port's; past a shorter capability's end
        break;
      case kExtCapSriov:
        if (at + 8 < kExtendedSize) low_half_[(at + 8) / 4] = true;
        break;
      case kExtCapSecondaryPcie:
        leave(0x08);
        break;
      case kExtCapDpc:
        leave(0x08);
        if (read(at + 4, 2) & 0x20) leave(0x0c);
        break;
      default:
        break;
    }
  });
}

RegisterWrite RestoreRules::Part(unsigned dword) const {
  RegisterWrite part{dword, 4, {0xff, 0xff, 0xff, 0xff}};
  switch (dword) {
    case kRegVendorId:
    case kRegRevisionClass:
      part.width = 0;
      break;
    case kRegCommand:        // command, not status
    case kRegCacheLineSize:  // cache line and latency, not header type and BIST
      part.width = 2;
      break;
    default:
      if (header_type_ == kHeaderBridge && dword == kRegIoBase) part.width = 2;  // not the secondary status
      if (header_type_ == kHeaderBridge && dword == (kRegBridgeControl & ~3u))
        part.value[kRegBridgeControl - dword + 1] = static_cast<uint8_t>(~(kBridgeControlW1c >> 8));
      if (header_type_ == kHeaderCardBus && dword == kRegCardBusCapPtr) part.width = 0;  // pointer, secondary status
      break;
  }
  if (dword / 4 < unwritten_.size()) {
    if (unwritten_[dword / 4]) part.width = 0;
    if (low_half_[dword / 4] && part.width > 2) part.width = 2;
  }
  return part;
}

}  // namespace kvsys
