// The kernel's file routines, as far as a driver reads a file: ZwCreateFile for an existing file, its size,
// its bytes. A file is opened through the host's one opener (platform/host/opener.h): only a regular file
// that no other user can have changed, what the name is being known before it is opened (opening a FIFO
// waits for a writer, opening a device can act), and never one of the run's outputs; a failed read is an
// error, never the end of the file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/opener.h"
#include "kernel_handles.h"
#include "kernel_strings.h"
#include "kvplat/diag.h"
#include "kvplat/errno_map.h"
#include "kvplat/module_names.h"
#include "kvplat/run_end.h"

namespace kvplat {

namespace {

constexpr char kDosDevices[] = "\\??\\";
constexpr ULONG FILE_OPENED = 1;
constexpr ULONG kWriteAccess = 0x40000000L /* GENERIC_WRITE */ | 0x0002 /* FILE_WRITE_DATA */ | 0x0004 /* FILE_APPEND_DATA */;

struct KernelFile : KernelObject {
  explicit KernelFile(int fd) : fd(fd) {}
  ~KernelFile() override { ::close(fd); }
  KernelFile(const KernelFile &) = delete;
  KernelFile &operator=(const KernelFile &) = delete;
  int fd;
  off_t position = 0;  // where the last read without an offset ended
};

NTSTATUS StatusFromErrno(int error) {
  switch (error) {
    case ENOENT: return STATUS_OBJECT_NAME_NOT_FOUND;
    case ENOTDIR: return STATUS_OBJECT_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return STATUS_ACCESS_DENIED;
    case EISDIR: return STATUS_FILE_IS_A_DIRECTORY;
    case ENAMETOOLONG: return STATUS_NAME_TOO_LONG;
    case ENOMEM: return STATUS_INSUFFICIENT_RESOURCES;
    case EIO: return STATUS_IO_DEVICE_ERROR;
    case EMFILE:
    case ENFILE: return STATUS_TOO_MANY_OPENED_FILES;
    default: return STATUS_UNSUCCESSFUL;
  }
}

// The status that says what a name is when it is no regular file (see ddk/ntddk.h).
NTSTATUS StatusOfType(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG: return STATUS_SUCCESS;
    case S_IFDIR: return STATUS_FILE_IS_A_DIRECTORY;
    case S_IFIFO: return STATUS_PIPE_NOT_AVAILABLE;
    case S_IFBLK: return STATUS_UNRECOGNIZED_VOLUME;
    case S_IFSOCK: return STATUS_IO_REPARSE_TAG_NOT_HANDLED;
    default: return STATUS_OBJECT_TYPE_MISMATCH;  // a character device
  }
}

std::string &LastInput() {
  static auto *last = new std::string;  // read when memory runs out, until the process ends
  return *last;
}

NTSTATUS Done(PIO_STATUS_BLOCK io, NTSTATUS status, ULONG_PTR information) {
  if (io) {
    io->Status = status;
    io->Information = information;
  }
  return status;
}

}  // namespace

std::string LastKernelInput() { return LastInput(); }

}  // namespace kvplat

using namespace kvplat;

extern "C" NTSTATUS ZwCreateFile(PHANDLE fileHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES attributes,
                                 PIO_STATUS_BLOCK io, PLARGE_INTEGER /*allocationSize*/, ULONG /*fileAttributes*/,
                                 ULONG /*shareAccess*/, ULONG createDisposition, ULONG /*createOptions*/,
                                 PVOID /*eaBuffer*/, ULONG /*eaLength*/) {
  if (!fileHandle || !attributes || !attributes->ObjectName || !io) return STATUS_INVALID_PARAMETER;
  if (createDisposition != FILE_OPEN || (desiredAccess & kWriteAccess) || attributes->RootDirectory) {
    ReportUnimplemented("ZwCreateFile for anything but reading an existing file by its full name");
    return STATUS_NOT_IMPLEMENTED;
  }
  // \??\ and a Win32 path: on this platform the Win32 paths are the Linux ones.
  const std::string name = Utf8Of(attributes->ObjectName);
  if (name.compare(0, sizeof kDosDevices - 1, kDosDevices) != 0) {
    ReportUnimplemented("ZwCreateFile of a name outside \\??\\");
    return STATUS_OBJECT_PATH_NOT_FOUND;
  }
  const std::string path = LinuxPath(name.c_str() + sizeof kDosDevices - 1);
  kvhost::OpenFailure failure;
  kvhost::UniqueFd fd = kvhost::OpenPath(path, kvhost::OpenFor::kInput, &failure);
  if (!fd.valid()) {
    const std::string driver = ModuleNameAt(__builtin_return_address(0));
    if (failure.isOutput) {
      Diag("%s: %s %s: a file that the run writes is never one of its inputs", driver.c_str(), path.c_str(),
           failure.why.c_str());
      EndRunNow(kExitPlatformFailure);
    }
    if (failure.type) return Done(io, StatusOfType(failure.type), 0);
    // The kernel's file routines say no more than a status; why another user's file is refused is said here.
    if (failure.untrusted) {
      Diag("%s: %s is not opened: it %s", driver.c_str(), path.c_str(), failure.why.c_str());
      return Done(io, STATUS_ACCESS_DENIED, 0);
    }
    if (failure.error == EMFILE || failure.error == ENFILE) Diag("%s: %s: %s", driver.c_str(), path.c_str(), failure.why.c_str());
    return Done(io, StatusFromErrno(failure.error), 0);
  }
  LastInput() = path;
  *fileHandle = InsertKernelHandle(std::make_unique<KernelFile>(fd.release()));
  return Done(io, STATUS_SUCCESS, FILE_OPENED);
}

extern "C" NTSTATUS ZwQueryInformationFile(HANDLE fileHandle, PIO_STATUS_BLOCK io, PVOID information, ULONG length,
                                           FILE_INFORMATION_CLASS informationClass) {
  auto *file = LookupKernelHandleAs<KernelFile>(fileHandle);
  if (!file) return STATUS_INVALID_HANDLE;
  if (informationClass != FileStandardInformation) {
    ReportUnimplemented("ZwQueryInformationFile for another class than FileStandardInformation");
    return STATUS_NOT_IMPLEMENTED;
  }
  if (length < sizeof(FILE_STANDARD_INFORMATION) || !information) return Done(io, STATUS_INFO_LENGTH_MISMATCH, 0);
  struct stat st;
  if (::fstat(file->fd, &st) != 0) return Done(io, StatusFromErrno(errno), 0);
  auto *out = static_cast<FILE_STANDARD_INFORMATION *>(information);
  std::memset(out, 0, sizeof *out);
  out->AllocationSize.QuadPart = static_cast<LONGLONG>(st.st_blocks) * 512;
  out->EndOfFile.QuadPart = st.st_size;
  out->NumberOfLinks = static_cast<ULONG>(st.st_nlink);
  return Done(io, STATUS_SUCCESS, sizeof *out);
}

extern "C" NTSTATUS ZwReadFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID /*apcContext*/,
                               PIO_STATUS_BLOCK io, PVOID buffer, ULONG length, PLARGE_INTEGER byteOffset,
                               PULONG /*key*/) {
  auto *file = LookupKernelHandleAs<KernelFile>(fileHandle);
  if (!file) return STATUS_INVALID_HANDLE;
  if (event || apcRoutine) {
    ReportUnimplemented("ZwReadFile with an event or an APC routine");
    return STATUS_NOT_IMPLEMENTED;
  }
  if (!io || (!buffer && length)) return STATUS_INVALID_PARAMETER;
  const off_t offset = byteOffset ? static_cast<off_t>(byteOffset->QuadPart) : file->position;
  ssize_t n;
  do {
    n = ::pread(file->fd, buffer, length, offset);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return Done(io, StatusFromErrno(errno), 0);
  file->position = offset + n;
  if (n == 0 && length != 0) return Done(io, STATUS_END_OF_FILE, 0);
  return Done(io, STATUS_SUCCESS, static_cast<ULONG_PTR>(n));
}
