#include "core/requests.h"

#include <cstring>

namespace kvsys {

namespace {

constexpr uint32_t kConfigData = sizeof(ConfigRequest::data), kExtData = sizeof(ExtConfigRequest::data);
constexpr uint32_t kConfigStatus = offsetof(ConfigRequest, status), kExtStatus = offsetof(ExtConfigRequest, status);

constexpr RequestInfo kRequests[] = {
    {RequestKind::kReadConfig, IOCTL_READ_CONFIG, "IOCTL_READ_CONFIG", sizeof(ConfigRequest), kConfigData,
     kConfigStatus, 0x000, false, false},
    {RequestKind::kWriteConfig, IOCTL_WRITE_CONFIG, "IOCTL_WRITE_CONFIG", sizeof(ConfigRequest), kConfigData,
     kConfigStatus, 0x000, true, false},
    {RequestKind::kReadExtConfig, IOCTL_READ_EXT_CONFIG, "IOCTL_READ_EXT_CONFIG", sizeof(ExtConfigRequest), kExtData,
     kExtStatus, 0x100, false, true},
    {RequestKind::kWriteExtConfig, IOCTL_WRITE_EXT_CONFIG, "IOCTL_WRITE_EXT_CONFIG", sizeof(ExtConfigRequest),
     kExtData, kExtStatus, 0x100, true, true},
};
}  // namespace

const RequestInfo *FindRequestByCode(uint32_t code) {
  for (const RequestInfo &r : kRequests)
    if (r.code == code) return &r;
  return nullptr;
}

const RequestInfo *FindRequestByName(const char *name, size_t length) {
  for (const RequestInfo &r : kRequests)
    if (std::strlen(r.name) == length && std::memcmp(r.name, name, length) == 0) return &r;
  return nullptr;
}

const RequestInfo &InfoOf(RequestKind kind) { return kRequests[static_cast<int>(kind)]; }

}  // namespace kvsys
