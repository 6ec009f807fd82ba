// The run-time library's strings (RtlInitUnicodeString, the conversions between UTF-8 and UTF-16) and
// security descriptors (absolute form, ACLs of ACEs, SIDs), kernel mutexes, and DbgPrintEx.
#include <ddk/ntifs.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "kernel_state.h"
#include "kvplat/diag.h"

namespace {

// A Linux name is bytes, and need not be UTF-8 (a Latin-1 file name): a byte that is no part of a UTF-8
// character crosses a Windows string as the lone surrogate U+DC80 to U+DCFF, and comes back as that byte
// (the escape that Python calls surrogateescape). Every name thus names the same file after its round trip,
// and no two names become one; Windows would put U+FFFD for each, as here for any other lone surrogate.
constexpr char16_t kEscapedByte = 0xDC00;

// UTF-8 as UTF-16; the first byte of an ill-formed sequence (overlong, a surrogate, past U+10FFFF, cut off)
// is escaped, and clears *mapped.
std::u16string ToUtf16(std::string_view text, bool *mapped) {
  std::u16string out;
  for (size_t at = 0; at < text.size();) {
    uint32_t code = static_cast<unsigned char>(text[at]);
    size_t length = code < 0x80 ? 1 : kvplat::Utf8SequenceLength(text.substr(at), &code);
    if (length == 0) {
      code = kEscapedByte + static_cast<unsigned char>(text[at]);
      length = 1;
      *mapped = false;
    }
    at += length;
    if (code < 0x10000) {
      out += static_cast<char16_t>(code);
    } else {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    }
  }
  return out;
}

// UTF-16 as UTF-8; a lone surrogate is its escaped byte or else U+FFFD, and clears *mapped.
std::string ToUtf8(const WCHAR *text, size_t size, bool *mapped) {
  std::string out;
  for (size_t at = 0; at < size;) {
    char32_t c = text[at++];
    if (c >= 0xD800 && c <= 0xDBFF && at < size && text[at] >= 0xDC00 && text[at] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[at++] - 0xDC00);
    } else if (c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF) {
      out += static_cast<char>(c - kEscapedByte);
      *mapped = false;
      continue;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
      *mapped = false;
    }
    const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(extra == 0 ? c : ((0xF0 << (3 - extra)) & 0xF0) | c >> (6 * extra));
    for (int i = extra - 1; i >= 0; --i) out += static_cast<char>(0x80 | (c >> (6 * i) & 0x3F));
  }
  return out;
}

// Copies what fits of `units` (all of it without a destination: the count only), as Windows answers:
// STATUS_BUFFER_TOO_SMALL when it did not fit, else STATUS_SOME_NOT_MAPPED when a sequence became U+FFFD.
template <typename Unit>
NTSTATUS Deliver(const std::basic_string<Unit> &units, bool mapped, Unit *out, ULONG maxBytes, PULONG actualBytes) {
  const size_t fit = out ? std::min<size_t>(units.size(), maxBytes / sizeof(Unit)) : units.size();
  if (out) std::memcpy(out, units.data(), fit * sizeof(Unit));
  *actualBytes = static_cast<ULONG>(fit * sizeof(Unit));
  if (fit < units.size()) return STATUS_BUFFER_TOO_SMALL;
  return mapped ? STATUS_SUCCESS : STATUS_SOME_NOT_MAPPED;
}

ULONG LengthOf(const SID *sid) { return 8 + 4 * ULONG{sid->SubAuthorityCount}; }

// A KMUTEX holds a recursive lock, as the kernel's mutex objects may be acquired again by the thread that
// owns them, and a tag that tells it from other memory.
struct KernelMutex {
  kvplat::RecursiveLock mutex;
  uint64_t tag = kTag;
  static constexpr uint64_t kTag = 0x584554554d4c454bULL;  // "KELMUTEX", what KeInitializeMutex leaves
};
static_assert(sizeof(KernelMutex) <= sizeof(KMUTEX) && alignof(KMUTEX) % alignof(KernelMutex) == 0);

KernelMutex *MutexOf(PVOID object) {
  auto *mutex = static_cast<KernelMutex *>(object);
  if (mutex == nullptr || mutex->tag != KernelMutex::kTag) {
    kvplat::ReportUnimplemented("a wait for an object that is not a kernel mutex");
    return nullptr;
  }
  return mutex;
}

}  // namespace

namespace kvplat {

std::string Utf8Of(const UNICODE_STRING *text) {
  bool mapped = true;
  return text && text->Buffer ? ToUtf8(text->Buffer, text->Length / sizeof(WCHAR), &mapped) : "";
}

std::u16string Utf16Of(std::string_view text) {
  bool mapped = true;
  return ToUtf16(text, &mapped);
}

}  // namespace kvplat

extern "C" void RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source) {
  size_t length = 0;
  while (source && source[length]) ++length;
  destination->Buffer = const_cast<PWSTR>(source);
  destination->Length = static_cast<USHORT>(length * sizeof(WCHAR));
  destination->MaximumLength = source ? static_cast<USHORT>(destination->Length + sizeof(WCHAR)) : 0;
}

extern "C" NTSTATUS RtlUTF8ToUnicodeN(PWSTR unicodeStringDestination, ULONG unicodeStringMaxByteCount,
                                      PULONG unicodeStringActualByteCount, PCCH utf8StringSource,
                                      ULONG utf8StringByteCount) {
  if (!unicodeStringActualByteCount || (!utf8StringSource && utf8StringByteCount)) return STATUS_INVALID_PARAMETER;
  bool mapped = true;
  const std::u16string units = ToUtf16(std::string_view(utf8StringSource, utf8StringByteCount), &mapped);
  return Deliver(units, mapped, unicodeStringDestination, unicodeStringMaxByteCount, unicodeStringActualByteCount);
}

extern "C" NTSTATUS RtlUnicodeToUTF8N(PCHAR utf8StringDestination, ULONG utf8StringMaxByteCount,
                                      PULONG utf8StringActualByteCount, PCWCH unicodeStringSource,
                                      ULONG unicodeStringByteCount) {
  if (!utf8StringActualByteCount || (!unicodeStringSource && unicodeStringByteCount)) return STATUS_INVALID_PARAMETER;
  bool mapped = true;
  const std::string units = ToUtf8(unicodeStringSource, unicodeStringByteCount / sizeof(WCHAR), &mapped);
  return Deliver(units, mapped, utf8StringDestination, utf8StringMaxByteCount, utf8StringActualByteCount);
}

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
  if (s == nullptr || s->Revision != SID_REVISION || s->SubAuthorityCount > 15) return STATUS_INVALID_SID;
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

// A mutex lives as long as the memory it is in: the kernel has no call that ends one.
extern "C" void KeInitializeMutex(PRKMUTEX mutex, ULONG /*level*/) { new (mutex) KernelMutex; }

// Waits are for mutexes only, without a timeout.
extern "C" NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON /*waitReason*/, KPROCESSOR_MODE /*waitMode*/,
                                          BOOLEAN /*alertable*/, PLARGE_INTEGER timeout) {
  if (timeout != nullptr) {
    kvplat::ReportUnimplemented("KeWaitForSingleObject with a timeout");
    return STATUS_NOT_IMPLEMENTED;
  }
  KernelMutex *mutex = MutexOf(object);
  if (mutex == nullptr) return STATUS_INVALID_PARAMETER;
  mutex->mutex.lock();
  return STATUS_SUCCESS;
}

extern "C" LONG KeReleaseMutex(PRKMUTEX mutex, BOOLEAN /*wait*/) {
  if (KernelMutex *m = MutexOf(mutex)) m->mutex.unlock();
  return 0;
}

// The kernel's debug output, filtered as Windows' default filter does (error level only), goes to the
// platform's diagnostics on standard error.
extern "C" ULONG DbgPrintEx(ULONG /*componentId*/, ULONG level, PCSTR format, ...) {
  // A level up to 31 is a bit number, a larger one a mask of them; bit 0 is DPFLTR_ERROR_LEVEL.
  const bool shown = level == DPFLTR_ERROR_LEVEL || (level > 31 && (level & 1) != 0);
  if (!shown || format == nullptr) return STATUS_SUCCESS;
  char text[kvplat::kDiagLineBytes];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  size_t size = length < 0 ? 0 : std::min(static_cast<size_t>(length), sizeof text - 1);
  while (size > 0 && (text[size - 1] == '\n' || text[size - 1] == '\r')) --size;
  kvplat::Diag("%.*s", static_cast<int>(size), text);
  return STATUS_SUCCESS;
}
