#include "sddl.h"

#include <ddk/ntifs.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kvplat/kernel32.h"

namespace kvtest {

namespace {

std::string g_sddl;

uint32_t U32(const unsigned char *bytes) {
  uint32_t v;
  std::memcpy(&v, bytes, sizeof v);
  return v;
}

// "SY", "BA" and the other aliases of SDDL for the SIDs it has them for, else "S-1-5-21-...".
std::string Sid(const unsigned char *sid, size_t room) {
  if (room < 8 || sid[0] != SID_REVISION || room < 8 + size_t{4} * sid[1]) return "?";
  uint64_t authority = 0;
  for (size_t i = 2; i < 8; ++i) authority = authority << 8 | sid[i];
  std::string text = "S-1-" + std::to_string(authority);
  for (size_t i = 0; i < sid[1]; ++i) text += "-" + std::to_string(U32(sid + 8 + 4 * i));
  static const struct { const char *sid, *alias; } kAliases[] = {
      {"S-1-5-18", "SY"}, {"S-1-5-32-544", "BA"}, {"S-1-5-32-545", "BU"}, {"S-1-1-0", "WD"},
      {"S-1-5-11", "AU"}, {"S-1-3-0", "CO"},
  };
  for (const auto &a : kAliases) {
    if (text == a.sid) return a.alias;
  }
  return text;
}

std::string Rights(ACCESS_MASK mask) {
  static const struct { ACCESS_MASK bit; const char *name; } kRights[] = {
      {0x10000000, "GA"}, {0x80000000, "GR"}, {0x40000000, "GW"}, {0x20000000, "GX"}};
  std::string text;
  for (const auto &r : kRights) {
    if (mask & r.bit) text += r.name;
    mask &= ~r.bit;
  }
  if (mask == 0) return text;
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(mask));
  return text.empty() ? hex : text + "(" + hex + ")";  // not SDDL, but nothing is lost
}

// The DACL of an absolute descriptor, as ZwSetSecurityObject sets it (without owner and group).
std::string SddlOf(const SECURITY_DESCRIPTOR &sd) {
  if (!(sd.Control & SE_DACL_PRESENT)) return "";
  std::string text = "D:";
  if (sd.Control & SE_DACL_PROTECTED) text += "P";
  if (sd.Control & SE_DACL_AUTO_INHERITED) text += "AI";
  if (sd.Dacl == nullptr) return text + "NO_ACCESS_CONTROL";
  const auto *acl = reinterpret_cast<const unsigned char *>(sd.Dacl);
  size_t at = sizeof(ACL);
  for (USHORT i = 0; i < sd.Dacl->AceCount; ++i) {
    ACE_HEADER ace;
    if (at + sizeof ace > sd.Dacl->AclSize) return text + "?";
    std::memcpy(&ace, acl + at, sizeof ace);
    if (ace.AceSize < 8 || at + ace.AceSize > sd.Dacl->AclSize) return text + "?";
    const char *type = ace.AceType == ACCESS_ALLOWED_ACE_TYPE  ? "A"
                       : ace.AceType == ACCESS_DENIED_ACE_TYPE ? "D"
                                                               : "?";
    char flags[8] = "";
    if (ace.AceFlags) std::snprintf(flags, sizeof flags, "0x%x", ace.AceFlags);
    text += std::string("(") + type + ";" + flags + ";" + Rights(U32(acl + at + 4)) + ";;;" +
            Sid(acl + at + 8, ace.AceSize - 8) + ")";
    at += ace.AceSize;
  }
  return text;
}

}  // namespace

std::string LastDeviceSddl() { return g_sddl; }

}  // namespace kvtest

extern "C" NTSTATUS ObOpenObjectByPointer(PVOID, ULONG, PACCESS_STATE, ACCESS_MASK, POBJECT_TYPE, KPROCESSOR_MODE,
                                          PHANDLE handle) {
  *handle = kvplat::InsertHandle(std::make_shared<kvplat::HandleObject>(kvplat::HandleType::KernelDevice));
  return STATUS_SUCCESS;
}

extern "C" NTSTATUS ZwSetSecurityObject(HANDLE, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor) {
  if (information != DACL_SECURITY_INFORMATION) return STATUS_NOT_IMPLEMENTED;
  kvtest::g_sddl = kvtest::SddlOf(*static_cast<const SECURITY_DESCRIPTOR *>(descriptor));
  return STATUS_SUCCESS;
}
