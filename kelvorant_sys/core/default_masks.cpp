#include "core/default_masks.h"

#include <cstring>

#include "core/capability_lists.h"
#include "core/pci_regs.h"

namespace kvsys {

namespace {

// Views of an image and its masks that ignore anything beyond the image, so that a 64-byte image (an
// unprivileged capture) gets the parts of its masks that exist.
struct MaskBuilder {
  const uint8_t *image;
  size_t size;
  uint8_t *writable;
  uint8_t *w1c;

  uint32_t Read(unsigned offset, unsigned width) const {
    uint32_t v = 0;
    for (unsigned i = 0; i < width && offset + i < size; ++i) v |= uint32_t{image[offset + i]} << (8 * i);
    return v;
  }
  static void Put(uint8_t *mask, size_t size, unsigned offset, unsigned width, uint32_t bits) {
    for (unsigned i = 0; i < width && offset + i < size; ++i) mask[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
  }
  void Writable(unsigned offset, unsigned width, uint32_t bits) { Put(writable, size, offset, width, bits); }
  void Clearable(unsigned offset, unsigned width, uint32_t bits) { Put(w1c, size, offset, width, bits); }

  // A run of BARs from `first` to `end`: memory or I/O by the register's own type bits, and the upper half
  // of a 64-bit memory BAR is plain writable.
  void Bars(unsigned first, unsigned end) {
    for (unsigned at = first; at < end; at += 4) {
      const uint32_t bar = Read(at, 4);
      if (bar & kBarIoSpace) {
        Writable(at, 4, kBarIoWritable);
      } else {
        Writable(at, 4, kBarMemWritable);
        if ((bar & kBarMemTypeMask) == kBarMemType64 && at + 4 < end) {
          at += 4;
          Writable(at, 4, 0xffffffff);
        }
      }
    }
  }

  // The capability IDs and next pointers (and an extended capability's header) are read-only.
  void StandardCapabilities(unsigned pointer_register) {
    if (!(Read(kRegStatus, 2) & kStatusCapList)) return;
    ForEachCapability([this](unsigned at, unsigned width) { return Read(at, width); }, pointer_register,
                      [this](unsigned at, uint8_t) {
                        if (at + 1 < size) Writable(at, 2, 0);
                      });
  }

  void ExtendedCapabilities() {
    ForEachExtendedCapability([this](unsigned at, unsigned width) { return Read(at, width); },
                              [this](unsigned at, uint32_t) {
                                if (at + 4 <= size) Writable(at, 4, 0);
                              });
  }
};

}  // namespace

void ComputeDefaultMasks(const uint8_t *image, size_t size, uint8_t *writable, uint8_t *w1c) {
  if (size == 0) return;  // nothing to fill; the buffers of an empty image may be null
  if (size > kExtendedSize) size = kExtendedSize;
  MaskBuilder m{image, size, writable, w1c};
  std::memset(writable, 0, size < kHeaderSize ? size : kHeaderSize);
  if (size > kHeaderSize) std::memset(writable + kHeaderSize, 0xff, size - kHeaderSize);
  std::memset(w1c, 0, size);

  m.Writable(kRegCommand, 2, kCommandWritable);
  m.Clearable(kRegStatus, 2, kStatusErrorBits);
  m.Writable(kRegCacheLineSize, 1, 0xff);
  m.Writable(kRegLatencyTimer, 1, 0xff);

  switch (m.Read(kRegHeaderType, 1) & kHeaderTypeMask) {
    case kHeaderNormal:
      m.Bars(kRegBar0, kRegSubsystem - 4);  // 0x10-0x27; 0x28 is the CardBus CIS pointer, read-only
      m.Writable(kRegRomAddress, 4, kRomWritable);
      m.Writable(kRegInterruptLine, 1, 0xff);
      m.StandardCapabilities(kRegCapabilityPtr);
      break;
    case kHeaderBridge: {
      m.Bars(kRegBar0, kRegPrimaryBus);
      m.Writable(kRegPrimaryBus, 4, 0xffffffff);
      const bool io_wide = (m.Read(kRegIoBase, 1) & 0xf) == kWindowWide;
      const bool pref_wide = (m.Read(kRegPrefBase, 1) & 0xf) == kWindowWide;
      m.Writable(kRegIoBase, 2, 0xf0f0);
      m.Clearable(kRegSecondaryStatus, 2, kStatusErrorBits);
      m.Writable(kRegMemoryBase, 4, 0xfff0fff0);
      m.Writable(kRegPrefBase, 4, 0xfff0fff0);
      m.Writable(kRegPrefBaseUpper, 4, pref_wide ? 0xffffffff : 0);
      m.Writable(kRegPrefBaseUpper + 4, 4, pref_wide ? 0xffffffff : 0);
      m.Writable(kRegIoBaseUpper, 4, io_wide ? 0xffffffff : 0);
      m.Writable(kRegBridgeRom, 4, kRomWritable);
      m.Writable(kRegInterruptLine, 1, 0xff);
      m.Writable(kRegBridgeControl, 2, kBridgeControlWritable);
      m.Clearable(kRegBridgeControl, 2, kBridgeControlW1c);
      m.StandardCapabilities(kRegCapabilityPtr);
      break;
    }
    case kHeaderCardBus:
      m.Writable(kRegCardBusSocket, 4, kCardBusMemWritable);
      m.Clearable(kRegCardBusSecStatus, 2, kStatusErrorBits);
      m.Writable(kRegPrimaryBus, 4, 0xffffffff);
      for (unsigned at = kRegCardBusWindows; at < kRegCardBusIoWindows; at += 4) m.Writable(at, 4, kCardBusMemWritable);
      for (unsigned at = kRegCardBusIoWindows; at < kRegInterruptLine; at += 4) m.Writable(at, 4, kBarIoWritable);
      m.Writable(kRegInterruptLine, 1, 0xff);
      m.Writable(kRegBridgeControl, 2, kCardBusControlWritable);
      m.Writable(kRegCardBusSubsystem, 4, 0);
      m.StandardCapabilities(kRegCardBusCapPtr);
      break;
    default:  // a header layout this model does not know: only the common registers
      break;
  }
  m.ExtendedCapabilities();
}

}  // namespace kvsys
