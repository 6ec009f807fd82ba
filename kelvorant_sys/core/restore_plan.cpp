#include "core/restore_plan.h"

#include <bitset>
#include <iterator>

namespace kvsys {

namespace {

// Registers of the capabilities whose status a restore leaves alone (offsets from the capability's start).
constexpr uint8_t kCapPowerManagement = 0x01;
constexpr uint8_t kCapPciExpress = 0x10;
constexpr uint16_t kExtCapAer = 0x0001;
constexpr unsigned kPmControlStatus = 0x04;  // PMCSR: bit 15, PME status, is write-one-to-clear
constexpr uint32_t kPmeStatus = 0x8000;
constexpr unsigned kExpFlags = 0x02;         // bits 3:0, the capability's version
// Control registers with their status in the upper half; those from 0x28 on exist from version 2.
constexpr unsigned kExpControlStatus[] = {0x08, 0x10, 0x18, 0x28, 0x30, 0x38};
constexpr unsigned kExpVersion2From = 0x28;
constexpr unsigned kExpRootStatus = 0x20;
constexpr unsigned kAerStatus[] = {0x04, 0x10};  // uncorrectable, correctable error status

uint32_t Load(const uint8_t *image, unsigned first, unsigned length, unsigned at, unsigned width) {
  uint32_t v = 0;
  for (unsigned i = 0; i < width; ++i)
    v |= uint32_t{at + i >= first && at + i < first + length ? image[at + i - first] : uint8_t{0xff}} << (8 * i);
  return v;
}

}  // namespace

RestoreRules::RestoreRules(unsigned first, unsigned length, const uint8_t *image, uint8_t header_type)
    : header_type_(header_type) {
  if (header_type == kHeaderBridge) Add(kRegBridgeControl & ~3u, Kind::kZeroBits, uint32_t{kBridgeControlW1c} << 16);
  if (first < kStandardSize && (Load(image, first, length, kRegStatus, 2) & kStatusCapList))
    StandardCapabilities(first, length, image, header_type == kHeaderCardBus ? kRegCardBusCapPtr : kRegCapabilityPtr);
  if (first + length > kStandardSize) ExtendedCapabilities(first, length, image);
}

void RestoreRules::Add(unsigned dword, Kind kind, uint32_t bits) {
  if (count_ < std::size(rules_)) rules_[count_++] = {dword, kind, bits};
}

void RestoreRules::StandardCapabilities(unsigned first, unsigned length, const uint8_t *image, unsigned pointer) {
  std::bitset<kStandardSize / 4> been_there;
  for (unsigned at = Load(image, first, length, pointer, 1) & kCapPointerMask; at >= kHeaderSize && !been_there[at / 4];
       at = Load(image, first, length, at + 1, 1) & kCapPointerMask) {
    been_there[at / 4] = true;
    const uint8_t id = static_cast<uint8_t>(Load(image, first, length, at, 1));
    if (id == kCapPowerManagement) Add(at + kPmControlStatus, Kind::kZeroBits, kPmeStatus);
    if (id != kCapPciExpress) continue;
    const bool version2 = (Load(image, first, length, at + kExpFlags, 2) & 0xf) >= 2;
    for (unsigned reg : kExpControlStatus)
      if ((reg < kExpVersion2From || version2) && at + reg < kStandardSize) Add(at + reg, Kind::kLowHalf);
    if (at + kExpRootStatus < kStandardSize) Add(at + kExpRootStatus, Kind::kNone);
  }
}

void RestoreRules::ExtendedCapabilities(unsigned first, unsigned length, const uint8_t *image) {
  std::bitset<kExtendedSize / 4> been_there;
  for (unsigned at = kStandardSize; at >= kStandardSize && !been_there[at / 4];) {
    been_there[at / 4] = true;
    const uint32_t header = Load(image, first, length, at, 4);
    if (header == 0 || header == 0xffffffff) break;
    if ((header & 0xffff) == kExtCapAer)
      for (unsigned reg : kAerStatus) Add(at + reg, Kind::kNone);
    at = (header >> kExtCapNextShift) & kExtCapNextMask;
  }
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
      if (header_type_ == kHeaderCardBus && dword == kRegCardBusCapPtr) part.width = 0;  // pointer, secondary status
      break;
  }
  for (unsigned i = 0; i < count_; ++i) {
    const Rule &rule = rules_[i];
    if (rule.dword != dword) continue;
    if (rule.kind == Kind::kNone) part.width = 0;
    if (rule.kind == Kind::kLowHalf && part.width > 2) part.width = 2;
    if (rule.kind == Kind::kZeroBits)
      for (unsigned b = 0; b < 4; ++b) part.value[b] &= static_cast<uint8_t>(~(rule.bits >> (8 * b)));
  }
  return part;
}

}  // namespace kvsys
