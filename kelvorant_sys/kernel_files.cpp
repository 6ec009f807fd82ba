#include "kernel_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/read_limits.h"
#include "wdk.h"

namespace kvsys {

namespace {

struct StatusText {
  NTSTATUS status;
  const char *text;
};

// What a file is when ZwCreateFile refuses it for not being one ("a FIFO"). The platform's file routines
// answer with these statuses before they open the name (see its ddk/ntddk.h); on Windows a folder answers
// STATUS_FILE_IS_A_DIRECTORY.
constexpr StatusText kNotAFile[] = {
    {STATUS_FILE_IS_A_DIRECTORY, "a folder"},         {STATUS_PIPE_NOT_AVAILABLE, "a FIFO"},
    {STATUS_OBJECT_TYPE_MISMATCH, "a character device"}, {STATUS_UNRECOGNIZED_VOLUME, "a block device"},
    {STATUS_IO_REPARSE_TAG_NOT_HANDLED, "a socket"},
};

// Why a file routine failed, in the words of the C library's strerror.
constexpr StatusText kFileErrors[] = {
    {STATUS_OBJECT_NAME_NOT_FOUND, "No such file or directory"},
    {STATUS_OBJECT_PATH_NOT_FOUND, "No such file or directory"},
    {STATUS_ACCESS_DENIED, "Permission denied"},
    {STATUS_IO_DEVICE_ERROR, "Input/output error"},
    {STATUS_NAME_TOO_LONG, "File name too long"},
    {STATUS_OBJECT_NAME_INVALID, "Invalid file name"},
    {STATUS_INSUFFICIENT_RESOURCES, "Cannot allocate memory"},
    {STATUS_TOO_MANY_OPENED_FILES, "Too many open files"},
    {STATUS_DISK_FULL, "No space left on device"},
    {STATUS_PIPE_BROKEN, "Broken pipe"},
};

template <size_t N>
const char *TextOf(const StatusText (&table)[N], NTSTATUS status) {
  for (const StatusText &entry : table)
    if (entry.status == status) return entry.text;
  return nullptr;
}

// The NT name of a Win32 path, as Windows makes it: \??\ and the path's segments joined by \, "." dropped and
// ".." taking back the segment before it (never the root or a drive), since the object manager takes a
// name as it is. On Linux the platform's Win32 paths are the Linux ones: "/d/../m.json" is "\??\\m.json".
std::string NtNameOf(const std::string &path) {
  std::vector<std::string> kept;
  size_t fixed = 0;  // the root ("") or a drive ("C:") at the start, which ".." does not take back
  for (size_t at = 0; at <= path.size();) {
    const size_t end = std::min(path.find_first_of("/\\", at), path.size());
    const std::string segment = path.substr(at, end - at);
    at = end + 1;
    if (kept.empty() && (segment.empty() || segment.back() == ':')) {
      kept.push_back(segment);
      fixed = 1;
    } else if (segment == ".." && kept.size() > fixed && kept.back() != "..") {
      kept.pop_back();
    } else if (!segment.empty() && segment != ".") {
      kept.push_back(segment);
    }
  }
  std::string name = "\\??";
  for (const std::string &segment : kept) name += "\\" + segment;
  return name;
}

// A file opened for reading, closed with its owner.
class KernelFile {
 public:
  KernelFile() = default;
  ~KernelFile() {
    if (handle_) ZwClose(handle_);
  }
  KernelFile(const KernelFile &) = delete;
  KernelFile &operator=(const KernelFile &) = delete;

  // Opens a regular file of at most max_bytes; false with the reason in *why.
  bool Open(const std::string &path, uint64_t max_bytes, std::string *why) {
    max_bytes_ = max_bytes;
    if (!OpenKernelFile(path, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &handle_, why)) return false;
    IO_STATUS_BLOCK io;
    FILE_STANDARD_INFORMATION info;
    const NTSTATUS queried = ZwQueryInformationFile(handle_, &io, &info, sizeof info, FileStandardInformation);
    if (!NT_SUCCESS(queried)) {
      *why = "cannot open: " + FileErrorReason(queried);
      return false;
    }
    if (static_cast<uint64_t>(info.EndOfFile.QuadPart) > max_bytes) {
      *why = "is " + std::to_string(info.EndOfFile.QuadPart) + " bytes long, more than the " +
             std::to_string(max_bytes) + " bytes that are read from such a file";
      return false;
    }
    return true;
  }

  // Reads up to `length` bytes where the last read ended: the count, 0 at the end of the file, or -1 with
  // the reason in *why. The size was checked when the file was opened, but some files say 0 then (under
  // /proc), and a file can grow.
  int64_t Read(char *buffer, ULONG length, std::string *why) {
    IO_STATUS_BLOCK io;
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(offset_);
    const NTSTATUS status = ZwReadFile(handle_, nullptr, nullptr, nullptr, &io, buffer, length, &offset, nullptr);
    if (status == STATUS_END_OF_FILE) return 0;
    if (!NT_SUCCESS(status)) {
      *why = "cannot read: " + FileErrorReason(status);
      return -1;
    }
    offset_ += io.Information;
    if (offset_ > max_bytes_) {
      *why = "is longer than the " + std::to_string(max_bytes_) + " bytes that are read from such a file";
      return -1;
    }
    return static_cast<int64_t>(io.Information);
  }

 private:
  HANDLE handle_ = nullptr;
  uint64_t offset_ = 0, max_bytes_ = 0;
};

constexpr ULONG kChunk = 64 * 1024;

}  // namespace

bool KernelTextFiles::ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                                std::string *why) {
  KernelFile file;
  if (!file.Open(path, kMaxDumpBytes, why)) return false;
  // One buffer holds the longest line there may be and a chunk beyond it: memory does not depend on the
  // file, only on the bound of a line. In pool memory, not on the kernel stack.
  const size_t capacity = kMaxLineBytes + 1 + kChunk;
  std::unique_ptr<char[]> buffer(new char[capacity]);
  size_t begin = 0, end = 0;  // the unread bytes
  uint64_t line_number = 0;
  bool at_end = false;
  for (;;) {
    const char *newline = static_cast<const char *>(std::memchr(buffer.get() + begin, '\n', end - begin));
    if (newline || (at_end && begin < end)) {
      const size_t length = newline ? static_cast<size_t>(newline - (buffer.get() + begin)) : end - begin;
      ++line_number;
      if (length > kMaxLineBytes) break;  // reported below
      if (!on_line(std::string_view(buffer.get() + begin, length))) return true;
      begin += length + (newline ? 1 : 0);
      continue;
    }
    if (at_end) return true;
    if (end - begin > kMaxLineBytes) {
      ++line_number;
      break;
    }
    // Keep the start of the unfinished line and read on behind it.
    std::memmove(buffer.get(), buffer.get() + begin, end - begin);
    end -= begin;
    begin = 0;
    const int64_t n = file.Read(buffer.get() + end, static_cast<ULONG>(capacity - end), why);
    if (n < 0) return false;
    end += static_cast<size_t>(n);
    at_end = n == 0;
  }
  *why = "line " + std::to_string(line_number) + " is longer than " + std::to_string(kMaxLineBytes) +
         " bytes (is this a text file?)";
  return false;
}

bool KernelTextFiles::ReadText(const std::string &path, std::string *text, std::string *why) {
  KernelFile file;
  if (!file.Open(path, kMaxMachineFileBytes, why)) return false;
  text->clear();
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (;;) {
    const int64_t n = file.Read(buffer.get(), kChunk, why);
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(buffer.get(), static_cast<size_t>(n));
  }
}

std::string FileErrorReason(NTSTATUS status) {
  if (const char *text = TextOf(kFileErrors, status)) return text;
  char text[32];
  std::snprintf(text, sizeof text, "NTSTATUS 0x%08X", static_cast<unsigned>(status));
  return text;
}

bool OpenKernelFile(const std::string &path, ACCESS_MASK access, ULONG share, ULONG disposition, HANDLE *handle,
                    std::string *why) {
  const std::string name = NtNameOf(path);
  ULONG bytes = 0;
  if (!NT_SUCCESS(RtlUTF8ToUnicodeN(nullptr, 0, &bytes, name.data(), static_cast<ULONG>(name.size()))) ||
      bytes > 0xfffe) {
    *why = "cannot open: " + FileErrorReason(STATUS_NAME_TOO_LONG);
    return false;
  }
  std::unique_ptr<WCHAR[]> wide(new WCHAR[bytes / sizeof(WCHAR) + 1]);
  RtlUTF8ToUnicodeN(wide.get(), bytes, &bytes, name.data(), static_cast<ULONG>(name.size()));
  UNICODE_STRING object_name;
  object_name.Buffer = wide.get();
  object_name.Length = object_name.MaximumLength = static_cast<USHORT>(bytes);

  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
  IO_STATUS_BLOCK io;
  const NTSTATUS opened = ZwCreateFile(handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                       share, disposition, FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT,
                                       nullptr, 0);
  if (!NT_SUCCESS(opened)) {
    *handle = nullptr;
    const char *what = TextOf(kNotAFile, opened);
    *why = what ? std::string("is ") + what + ", not a regular file" : "cannot open: " + FileErrorReason(opened);
    return false;
  }
  return true;
}

bool ReadServiceString(PUNICODE_STRING key_path, PCWSTR name, std::string *out) {
  out->clear();
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, key_path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
  HANDLE key = nullptr;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return false;

  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, name);
  // The size first, then the value: a path may be long.
  ULONG length = 0;
  KEY_VALUE_PARTIAL_INFORMATION header;
  NTSTATUS status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, &header, sizeof header, &length);
  std::unique_ptr<UCHAR[]> bytes;
  if (status == STATUS_BUFFER_OVERFLOW && length >= sizeof header) {
    bytes.reset(new UCHAR[length]);
    status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, bytes.get(), length, &length);
  }
  ZwClose(key);
  const auto *info = bytes ? reinterpret_cast<const KEY_VALUE_PARTIAL_INFORMATION *>(bytes.get()) : &header;
  if (!NT_SUCCESS(status) || (info->Type != REG_SZ && info->Type != REG_EXPAND_SZ)) return false;

  // The data as stored, up to its terminating zero when it has one.
  const auto *text = reinterpret_cast<const WCHAR *>(info->Data);
  ULONG chars = info->DataLength / sizeof(WCHAR);
  for (ULONG i = 0; i < chars; ++i) {
    if (text[i] == 0) chars = i;
  }
  ULONG utf8 = 0;
  RtlUnicodeToUTF8N(nullptr, 0, &utf8, text, chars * sizeof(WCHAR));
  out->resize(utf8);
  RtlUnicodeToUTF8N(out->data(), utf8, &utf8, text, chars * sizeof(WCHAR));
  out->resize(utf8);
  return true;
}

}  // namespace kvsys
