// The kernel's file routines, as far as a driver reads a file or appends to one, and ZwClose of every kernel
// handle. A file is opened through the host's one opener (platform/host/opener.h); an input is a regular file
// and never one of the run's outputs. A failed read is an error, never the end of the file; a failed write
// of one of the run's outputs (the trace) is reported as the platform reports its own.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "host/opener.h"
#include "kernel_state.h"
#include "kvplat/diag.h"
#include "kvplat/kernel32.h"

namespace kvplat {

namespace {

constexpr char kDosDevices[] = "\\??\\";
constexpr ULONG FILE_OPENED = 1, FILE_CREATED = 2;
constexpr ULONG kWriteAccess = 0x40000000L /* GENERIC_WRITE */ | 0x0002 /* FILE_WRITE_DATA */ | FILE_APPEND_DATA;
constexpr ULONG kReadAccess = GENERIC_READ | 0x0001 /* FILE_READ_DATA */;

struct KernelFile : HandleObject {
  explicit KernelFile(int fd) : HandleObject(HandleType::KernelFile), fd(fd) {}
  ~KernelFile() override { ::close(fd); }
  int fd;
  bool appends = false;  // opened for appending (and nothing else)
  std::string path;      // of a file opened for appending, for the report of a failed write
  std::string output;    // the run's output it is ("the trace"), or ""
};

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

std::shared_ptr<KernelFile> FileOf(HANDLE handle) { return LookupHandleAs<KernelFile>(handle, HandleType::KernelFile); }

// What ZwReadFile and ZwWriteFile check first: the handle, a call without an event or an APC routine
// (`routine` names the call that has one: every transfer here is synchronous), a status block, and a buffer
// for the length. STATUS_SUCCESS with the file in *file.
NTSTATUS CheckTransfer(HANDLE handle, const void *event, PIO_APC_ROUTINE apcRoutine, const IO_STATUS_BLOCK *io,
                       const void *buffer, ULONG length, const char *routine, std::shared_ptr<KernelFile> *file) {
  *file = FileOf(handle);
  if (!*file) return STATUS_INVALID_HANDLE;
  if (event || apcRoutine) {
    ReportUnimplemented((std::string(routine) + " with an event or an APC routine").c_str());
    return STATUS_NOT_IMPLEMENTED;
  }
  return !io || (!buffer && length) ? STATUS_INVALID_PARAMETER : STATUS_SUCCESS;
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
  // Reading an existing file, or appending to a file that is made when missing, as a driver keeps a log.
  const bool reads = createDisposition == FILE_OPEN && !(desiredAccess & kWriteAccess);
  const bool appends = createDisposition == FILE_OPEN_IF && (desiredAccess & kWriteAccess) == FILE_APPEND_DATA &&
                       !(desiredAccess & kReadAccess);
  if ((!reads && !appends) || attributes->RootDirectory) {
    ReportUnimplemented("ZwCreateFile for anything but reading an existing file or appending to one, by its full "
                        "name");
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
  struct stat st;
  kvhost::UniqueFd fd =
      kvhost::OpenPath(path, appends ? kvhost::OpenFor::kAppend : kvhost::OpenFor::kInput, &failure, &st);
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
    return Done(io, NtStatusFromErrno(failure.error), 0);
  }
  auto file = std::make_shared<KernelFile>(fd.release());
  if (appends) {
    file->appends = true;
    file->path = path;
    file->output = kvhost::OutputName(st);
  } else {
    LastInput() = path;
  }
  *fileHandle = InsertHandle(std::move(file));
  return Done(io, STATUS_SUCCESS, failure.created ? FILE_CREATED : FILE_OPENED);
}

extern "C" NTSTATUS ZwQueryInformationFile(HANDLE fileHandle, PIO_STATUS_BLOCK io, PVOID information, ULONG length,
                                           FILE_INFORMATION_CLASS informationClass) {
  const auto file = FileOf(fileHandle);
  if (!file) return STATUS_INVALID_HANDLE;
  if (informationClass != FileStandardInformation) {
    ReportUnimplemented("ZwQueryInformationFile for another class than FileStandardInformation");
    return STATUS_NOT_IMPLEMENTED;
  }
  if (length < sizeof(FILE_STANDARD_INFORMATION) || !information) return Done(io, STATUS_INFO_LENGTH_MISMATCH, 0);
  struct stat st;
  if (::fstat(file->fd, &st) != 0) return Done(io, NtStatusFromErrno(errno), 0);
  auto *out = static_cast<FILE_STANDARD_INFORMATION *>(information);
  out->EndOfFile.QuadPart = st.st_size;
  return Done(io, STATUS_SUCCESS, sizeof *out);
}

extern "C" NTSTATUS ZwReadFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID /*apcContext*/,
                               PIO_STATUS_BLOCK io, PVOID buffer, ULONG length, PLARGE_INTEGER byteOffset,
                               PULONG /*key*/) {
  std::shared_ptr<KernelFile> file;
  const NTSTATUS checked = CheckTransfer(fileHandle, event, apcRoutine, io, buffer, length, "ZwReadFile", &file);
  if (!NT_SUCCESS(checked)) return checked;
  if (!byteOffset) {
    ReportUnimplemented("ZwReadFile without an offset");
    return STATUS_NOT_IMPLEMENTED;
  }
  const off_t offset = static_cast<off_t>(byteOffset->QuadPart);
  ssize_t n;
  do {
    n = ::pread(file->fd, buffer, length, offset);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return Done(io, NtStatusFromErrno(errno), 0);
  if (n == 0 && length != 0) return Done(io, STATUS_END_OF_FILE, 0);
  return Done(io, STATUS_SUCCESS, static_cast<ULONG_PTR>(n));
}

extern "C" NTSTATUS ZwWriteFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID /*apcContext*/,
                                PIO_STATUS_BLOCK io, PVOID buffer, ULONG length, PLARGE_INTEGER /*byteOffset*/,
                                PULONG /*key*/) {
  std::shared_ptr<KernelFile> file;
  const NTSTATUS checked = CheckTransfer(fileHandle, event, apcRoutine, io, buffer, length, "ZwWriteFile", &file);
  if (!NT_SUCCESS(checked)) return checked;
  if (!file->appends) return Done(io, STATUS_ACCESS_DENIED, 0);  // opened for reading
  // Opened for appending alone: every write goes to the end, whatever the offset, in one piece.
  if (!kvhost::WriteAll(file->fd, std::string_view(static_cast<const char *>(buffer), length))) {
    const int error = errno;
    if (!file->output.empty()) ReportOutputFailure(file->output.c_str(), file->path.c_str(), error);
    return Done(io, NtStatusFromErrno(error), 0);
  }
  return Done(io, STATUS_SUCCESS, length);
}

extern "C" NTSTATUS ZwClose(HANDLE handle) {
  return CloseHandleOf(handle, {HandleType::KernelFile, HandleType::KernelKey, HandleType::KernelDevice})
             ? STATUS_SUCCESS
             : STATUS_INVALID_HANDLE;
}
