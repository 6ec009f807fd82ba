#include "device_security.h"

#include <memory>

namespace kvsys {

namespace {

// A SID of the NT authority with up to two sub-authorities, laid out as the kernel's SID.
struct NtAuthoritySid {
  UCHAR revision;
  UCHAR sub_authority_count;
  UCHAR authority[6];
  ULONG sub_authority[2];
};
constexpr NtAuthoritySid kLocalSystem = {1, 1, {0, 0, 0, 0, 0, 5}, {18, 0}};          // S-1-5-18
constexpr NtAuthoritySid kAdministrators = {1, 2, {0, 0, 0, 0, 0, 5}, {32, 544}};     // S-1-5-32-544

PSID SidOf(const NtAuthoritySid &sid) { return const_cast<NtAuthoritySid *>(&sid); }

}  // namespace

NTSTATUS RestrictToAdministrators(PDEVICE_OBJECT device) {
  const PSID sids[] = {SidOf(kLocalSystem), SidOf(kAdministrators)};
  ULONG acl_bytes = sizeof(ACL);
  for (PSID sid : sids) acl_bytes += sizeof(ACCESS_ALLOWED_ACE) - sizeof(ULONG) + RtlLengthSid(sid);
  auto acl_storage = std::make_unique<ULONG[]>((acl_bytes + sizeof(ULONG) - 1) / sizeof(ULONG));
  auto *acl = reinterpret_cast<ACL *>(acl_storage.get());
  NTSTATUS status = RtlCreateAcl(acl, acl_bytes, ACL_REVISION);
  for (PSID sid : sids) {
    if (NT_SUCCESS(status)) status = RtlAddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid);
  }
  SECURITY_DESCRIPTOR descriptor;
  if (NT_SUCCESS(status)) status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  if (NT_SUCCESS(status)) status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, acl, FALSE);
  if (!NT_SUCCESS(status)) return status;
  descriptor.Control |= SE_DACL_PROTECTED;  // the "P": nothing is inherited from \Device

  HANDLE handle = nullptr;
  status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, nullptr, WRITE_DAC, nullptr, KernelMode, &handle);
  if (!NT_SUCCESS(status)) return status;
  status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
  ZwClose(handle);
  return status;
}

}  // namespace kvsys
