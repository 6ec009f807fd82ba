// Security descriptors: the Rtl routines that build one (absolute form, ACLs of ACEs, SIDs) and setting one
// on a device through a kernel handle (ObOpenObjectByPointer, ZwSetSecurityObject). The kernel keeps what a
// driver set in self-relative form, as Windows' object manager does (DeviceSecurity); it checks no access
// with it.
#include <ddk/ntifs.h>

#include <cstring>
#include <vector>

#include "kernel_handles.h"
#include "kernel_state.h"
#include "kvplat/diag.h"

namespace kvplat {

namespace {

constexpr ULONG kMaxSubAuthorities = 15;

bool ValidSid(const SID *sid) {
  return sid != nullptr && sid->Revision == SID_REVISION && sid->SubAuthorityCount <= kMaxSubAuthorities;
}

ULONG LengthOf(const SID *sid) { return 8 + 4 * ULONG{sid->SubAuthorityCount}; }

// A handle to a device, as ObOpenObjectByPointer opens one.
struct DeviceHandle : KernelObject {
  DeviceHandle(DeviceRef device, ACCESS_MASK access) : device(std::move(device)), access(access) {}
  DeviceRef device;
  ACCESS_MASK access;
};

// The descriptor in self-relative form: its header, then the DACL as it is laid out, AclSize bytes.
std::vector<unsigned char> SelfRelative(const SECURITY_DESCRIPTOR &sd) {
  SECURITY_DESCRIPTOR_RELATIVE header{};
  header.Revision = sd.Revision;
  header.Control = static_cast<SECURITY_DESCRIPTOR_CONTROL>(sd.Control | SE_SELF_RELATIVE);
  const size_t dacl = sd.Dacl ? sd.Dacl->AclSize : 0;
  if (sd.Dacl) header.Dacl = sizeof header;
  std::vector<unsigned char> bytes(sizeof header + dacl);
  std::memcpy(bytes.data(), &header, sizeof header);
  if (sd.Dacl) std::memcpy(bytes.data() + sizeof header, sd.Dacl, dacl);
  return bytes;
}

}  // namespace

std::vector<unsigned char> DeviceSecurity(const std::string &name) {
  std::lock_guard lock(Kernel().mutex);
  const DeviceRef device = FindDevice(name);
  return device ? device->security : std::vector<unsigned char>();
}

}  // namespace kvplat

using namespace kvplat;

extern "C" NTSTATUS RtlCreateSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor, ULONG revision) {
  if (revision != SECURITY_DESCRIPTOR_REVISION) return STATUS_UNKNOWN_REVISION;
  auto *sd = static_cast<SECURITY_DESCRIPTOR *>(securityDescriptor);
  *sd = SECURITY_DESCRIPTOR{};
  sd->Revision = SECURITY_DESCRIPTOR_REVISION;
  return STATUS_SUCCESS;
}

extern "C" NTSTATUS RtlSetDaclSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor, BOOLEAN daclPresent,
                                                 PACL dacl, BOOLEAN daclDefaulted) {
  auto *sd = static_cast<SECURITY_DESCRIPTOR *>(securityDescriptor);
  if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return STATUS_UNKNOWN_REVISION;
  if (sd->Control & SE_SELF_RELATIVE) return STATUS_INVALID_SECURITY_DESCR;
  sd->Control &= ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED);
  sd->Dacl = nullptr;
  if (!daclPresent) return STATUS_SUCCESS;
  sd->Control |= SE_DACL_PRESENT | (daclDefaulted ? SE_DACL_DEFAULTED : 0);
  sd->Dacl = dacl;
  return STATUS_SUCCESS;
}

extern "C" NTSTATUS RtlCreateAcl(PACL acl, ULONG aclLength, ULONG aclRevision) {
  if (aclLength < sizeof(ACL)) return STATUS_BUFFER_TOO_SMALL;
  if (aclRevision < ACL_REVISION || aclRevision > 4 || aclLength > 0xFFFF) return STATUS_INVALID_PARAMETER;
  std::memset(acl, 0, sizeof(ACL));
  acl->AclRevision = static_cast<UCHAR>(aclRevision);
  acl->AclSize = static_cast<USHORT>(aclLength & ~3u);
  return STATUS_SUCCESS;
}

extern "C" ULONG RtlLengthSid(PSID sid) { return LengthOf(static_cast<const SID *>(sid)); }

extern "C" NTSTATUS RtlAddAccessAllowedAce(PACL acl, ULONG aceRevision, ACCESS_MASK accessMask, PSID sid) {
  const auto *s = static_cast<const SID *>(sid);
  if (!ValidSid(s)) return STATUS_INVALID_SID;
  if (acl->AclRevision < ACL_REVISION || aceRevision != ACL_REVISION) return STATUS_REVISION_MISMATCH;
  // Past the ACEs the ACL holds.
  auto *bytes = reinterpret_cast<unsigned char *>(acl);
  size_t at = sizeof(ACL);
  for (USHORT i = 0; i < acl->AceCount; ++i) {
    ACE_HEADER header;
    std::memcpy(&header, bytes + at, sizeof header);
    if (header.AceSize < sizeof header || at + header.AceSize > acl->AclSize) return STATUS_INVALID_ACL;
    at += header.AceSize;
  }
  const ULONG size = offsetof(ACCESS_ALLOWED_ACE, SidStart) + LengthOf(s);
  if (at + size > acl->AclSize) return STATUS_ALLOTTED_SPACE_EXCEEDED;
  const ACE_HEADER header = {ACCESS_ALLOWED_ACE_TYPE, 0, static_cast<USHORT>(size)};
  std::memcpy(bytes + at, &header, sizeof header);
  std::memcpy(bytes + at + 4, &accessMask, 4);
  std::memcpy(bytes + at + 8, s, LengthOf(s));
  ++acl->AceCount;
  return STATUS_SUCCESS;
}

extern "C" NTSTATUS ObOpenObjectByPointer(PVOID object, ULONG handleAttributes, PACCESS_STATE passedAccessState,
                                          ACCESS_MASK desiredAccess, POBJECT_TYPE objectType, KPROCESSOR_MODE accessMode,
                                          PHANDLE handle) {
  if (accessMode != KernelMode || passedAccessState != nullptr || objectType != nullptr ||
      handleAttributes != OBJ_KERNEL_HANDLE) {
    ReportUnimplemented("ObOpenObjectByPointer other than for a kernel handle in kernel mode");
    return STATUS_NOT_IMPLEMENTED;
  }
  std::lock_guard lock(Kernel().mutex);
  DeviceRef device = RecordOfDevice(static_cast<const DEVICE_OBJECT *>(object));
  if (!device) {
    ReportUnimplemented("ObOpenObjectByPointer of an object other than a device");
    return STATUS_OBJECT_TYPE_MISMATCH;
  }
  *handle = InsertKernelHandle(std::make_unique<DeviceHandle>(std::move(device), desiredAccess));
  return STATUS_SUCCESS;
}

extern "C" NTSTATUS ZwSetSecurityObject(HANDLE handle, SECURITY_INFORMATION securityInformation,
                                        PSECURITY_DESCRIPTOR securityDescriptor) {
  auto *device = LookupKernelHandleAs<DeviceHandle>(handle);
  if (device == nullptr) return STATUS_INVALID_HANDLE;
  if (securityInformation != DACL_SECURITY_INFORMATION) {
    ReportUnimplemented("ZwSetSecurityObject of more or less than the DACL");
    return STATUS_NOT_IMPLEMENTED;
  }
  if (!(device->access & WRITE_DAC)) return STATUS_ACCESS_DENIED;
  const auto *sd = static_cast<const SECURITY_DESCRIPTOR *>(securityDescriptor);
  if (sd == nullptr || sd->Revision != SECURITY_DESCRIPTOR_REVISION || (sd->Control & SE_SELF_RELATIVE))
    return STATUS_INVALID_SECURITY_DESCR;
  // Only the DACL and its own control bits: an owner or group in the descriptor is not set.
  SECURITY_DESCRIPTOR dacl_only = *sd;
  dacl_only.Owner = dacl_only.Group = nullptr;
  std::lock_guard lock(Kernel().mutex);
  device->device->security = SelfRelative(dacl_only);
  return STATUS_SUCCESS;
}
