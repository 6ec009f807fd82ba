#include "core/restore_plan.h"

#include <cstring>

#include "core/pci_regs.h"

namespace kvsys {

namespace {

// The part of the dword at `dword` that may be written back: width 0 for none.
RegisterWrite WritablePart(unsigned dword, uint8_t header_type) {
  switch (dword) {
    case kRegVendorId:
    case kRegRevisionClass:
      return {dword, 0};
    case kRegCommand:  // command, not status
    case kRegCacheLineSize:  // cache line and latency, not header type and BIST
      return {dword, 2};
    default:
      break;
  }
  if (header_type == kHeaderBridge && dword == kRegIoBase) return {dword, 2};  // not the secondary status
  if (header_type == kHeaderCardBus && dword == kRegCardBusCapPtr) return {dword, 0};  // pointer, secondary status
  return {dword, 4};
}

}  // namespace

bool VisitRestoreWrites(unsigned first, unsigned length, const uint8_t *present, unsigned known,
                        const uint8_t *wanted, RestoreWriteVisitor visit, void *context) {
  if (known > length) known = length;
  const uint8_t header_type =
      first == 0 && known > kRegHeaderType ? present[kRegHeaderType] & kHeaderTypeMask : kHeaderNormal;
  for (unsigned end = known & ~3u; end > 0; end -= 4) {
    const unsigned dword = first + end - 4;
    const RegisterWrite part = dword < kHeaderSize ? WritablePart(dword, header_type) : RegisterWrite{dword, 4};
    const unsigned at = part.offset - first;
    if (part.width && std::memcmp(present + at, wanted + at, part.width) != 0 && !visit(context, part)) return false;
  }
  return true;
}

std::vector<RegisterWrite> PlanRestoreWrites(unsigned first, unsigned length, const uint8_t *present,
                                             unsigned known, const uint8_t *wanted) {
  std::vector<RegisterWrite> writes;
  VisitRestoreWrites(first, length, present, known, wanted,
                     [](void *context, const RegisterWrite &write) {
                       static_cast<std::vector<RegisterWrite> *>(context)->push_back(write);
                       return true;
                     },
                     &writes);
  return writes;
}

}  // namespace kvsys
