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

// What a file is when ZwCreateFile refuses it for not being one ("a FIFO"), or null. The platform's file
// routines answer with these statuses before they open the name (see its ddk/ntddk.h); on Windows a folder
// answers STATUS_FILE_IS_A_DIRECTORY.
const char *NotAFile(NTSTATUS status) {
  switch (status) {
    case STATUS_FILE_IS_A_DIRECTORY:
      return "a folder";
    case STATUS_PIPE_NOT_AVAILABLE:
      return "a FIFO";
    case STATUS_OBJECT_TYPE_MISMATCH:
      return "a character device";
    case STATUS_UNRECOGNIZED_VOLUME:
      return "a block device";
    case STATUS_IO_REPARSE_TAG_NOT_HANDLED:
      return "a socket";
    default:
      return nullptr;
  }
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

std::string TooLong(uint64_t max_bytes) {
  return "is longer than the " + std::to_string(max_bytes) + " bytes that are read from such a file";
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
  // the reason in *why.
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
    return static_cast<int64_t>(io.Information);
  }

 private:
  HANDLE handle_ = nullptr;
  uint64_t offset_ = 0;
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
  uint64_t total = 0, line_number = 0;
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
    total += static_cast<uint64_t>(n);
    // The size was checked when the file was opened, but a file can grow.
    if (total > kMaxDumpBytes) {
      *why = TooLong(kMaxDumpBytes);
      return false;
    }
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
    // Some files say 0 when they are opened (under /proc) or grow meanwhile.
    if (text->size() + static_cast<size_t>(n) > kMaxMachineFileBytes) {
      *why = TooLong(kMaxMachineFileBytes);
      return false;
    }
    text->append(buffer.get(), static_cast<size_t>(n));
  }
}

std::string FileErrorReason(NTSTATUS status) {
  switch (status) {
    case STATUS_OBJECT_NAME_NOT_FOUND:
    case STATUS_OBJECT_PATH_NOT_FOUND:
      return "No such file or directory";
    case STATUS_ACCESS_DENIED:
      return "Permission denied";
    case STATUS_IO_DEVICE_ERROR:
      return "Input/output error";
    case STATUS_NAME_TOO_LONG:
      return "File name too long";
    case STATUS_OBJECT_NAME_INVALID:
      return "Invalid file name";
    case STATUS_INSUFFICIENT_RESOURCES:
      return "Cannot allocate memory";
    case STATUS_TOO_MANY_OPENED_FILES:
      return "Too many open files";
    case STATUS_DISK_FULL:
      return "No space left on device";
    case STATUS_PIPE_BROKEN:
      return "Broken pipe";
    default:
      break;
  }
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
    const char *what = NotAFile(opened);
    *why = what ? std::string("is ") + what + ", not a regular file" : "cannot open: " + FileErrorReason(opened);
    return false;
  }
  return true;
}

}  // namespace kvsys
