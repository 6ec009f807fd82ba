#include "sddl.h"

#include <ddk/ntifs.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kvtest {

namespace {

uint32_t U32(const std::vector<unsigned char> &bytes, size_t at) {
  uint32_t v;
  std::memcpy(&v, bytes.data() + at, sizeof v);
  return v;
}

// The SID at `at`, within `end`: "SY", "BA" and the other aliases of SDDL for those it has them for, else
// "S-1-5-21-...".
std::string Sid(const std::vector<unsigned char> &bytes, size_t at, size_t end) {
  if (at + 8 > end || bytes[at] != SID_REVISION || at + 8 + size_t{4} * bytes[at + 1] > end) return "?";
  uint64_t authority = 0;
  for (size_t i = 2; i < 8; ++i) authority = authority << 8 | bytes[at + i];
  std::string text = "S-1-" + std::to_string(authority);
  for (size_t i = 0; i < bytes[at + 1]; ++i) text += "-" + std::to_string(U32(bytes, at + 8 + 4 * i));
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

}  // namespace

std::string SddlOf(const std::vector<unsigned char> &descriptor) {
  SECURITY_DESCRIPTOR_RELATIVE header;
  if (descriptor.size() < sizeof header) return "?";
  std::memcpy(&header, descriptor.data(), sizeof header);
  if (header.Revision != SECURITY_DESCRIPTOR_REVISION || !(header.Control & SE_SELF_RELATIVE)) return "?";
  std::string text;
  if (header.Owner) text += "O:" + Sid(descriptor, header.Owner, descriptor.size());
  if (header.Group) text += "G:" + Sid(descriptor, header.Group, descriptor.size());
  if (!(header.Control & SE_DACL_PRESENT)) return text;
  text += "D:";
  if (header.Control & SE_DACL_PROTECTED) text += "P";
  if (header.Control & SE_DACL_AUTO_INHERITED) text += "AI";
  if (header.Dacl == 0) return text + "NO_ACCESS_CONTROL";
  ACL acl;
  if (header.Dacl + sizeof acl > descriptor.size()) return text + "?";
  std::memcpy(&acl, descriptor.data() + header.Dacl, sizeof acl);
  const size_t end = header.Dacl + size_t{acl.AclSize};
  if (end > descriptor.size()) return text + "?";
  size_t at = header.Dacl + sizeof acl;
  for (USHORT i = 0; i < acl.AceCount; ++i) {
    ACE_HEADER ace;
    if (at + sizeof ace > end) return text + "?";
    std::memcpy(&ace, descriptor.data() + at, sizeof ace);
    if (ace.AceSize < 8 || at + ace.AceSize > end) return text + "?";
    const char *type = ace.AceType == ACCESS_ALLOWED_ACE_TYPE  ? "A"
                       : ace.AceType == ACCESS_DENIED_ACE_TYPE ? "D"
                                                               : "?";
    char flags[8] = "";
    if (ace.AceFlags) std::snprintf(flags, sizeof flags, "0x%x", ace.AceFlags);
    text += std::string("(") + type + ";" + flags + ";" + Rights(U32(descriptor, at + 4)) + ";;;" +
            Sid(descriptor, at + 8, at + ace.AceSize) + ")";
    at += ace.AceSize;
  }
  return text;
}

}  // namespace kvtest
