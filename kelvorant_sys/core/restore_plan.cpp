#include "core/restore_plan.h"

namespace kvsys {

RegisterWrite WritablePart(unsigned dword, uint8_t header_type) {
  switch (dword) {
    case kRegVendorId:
    case kRegRevisionClass:
      return {dword, 0};
    case kRegCommand:        // command, not status
    case kRegCacheLineSize:  // cache line and latency, not header type and BIST
      return {dword, 2};
    default:
      break;
  }
  if (header_type == kHeaderBridge && dword == kRegIoBase) return {dword, 2};  // not the secondary status
  if (header_type == kHeaderCardBus && dword == kRegCardBusCapPtr) return {dword, 0};  // pointer, secondary status
  return {dword, 4};
}

}  // namespace kvsys
