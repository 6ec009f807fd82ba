// The one table of error codes where Win32 and the NT kernel meet the Linux calls beneath them
// (kvplat/kernel32.h): an errno's Win32 error (what kernel32 answers) and NTSTATUS (what the kernel's
// routines answer), and the Win32 error of every status that the kernel or a driver here completes a
// request with, by RtlNtStatusToDosError's rules.
#include <cerrno>
#include <cstdint>

#include <ddk/ntddk.h>

#include "kvplat/kernel32.h"

namespace kvplat {

namespace {

struct ErrorCodes {
  int error;        // the errno, or 0 for a status that no Linux call gives
  DWORD win32;      // the status's Win32 error; for an errno, kernel32's
  uint32_t status;  // the NTSTATUS; 0 for an errno that only kernel32 maps
};

// A status and an errno are each looked up at their first row.
constexpr ErrorCodes kErrorCodes[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND, 0xC0000034},  // STATUS_OBJECT_NAME_NOT_FOUND
    {ENOTDIR, ERROR_PATH_NOT_FOUND, 0xC000003A},  // STATUS_OBJECT_PATH_NOT_FOUND
    {EACCES, ERROR_ACCESS_DENIED, 0xC0000022},   // STATUS_ACCESS_DENIED
    {EPERM, ERROR_ACCESS_DENIED, 0xC0000022},
    {EISDIR, ERROR_ACCESS_DENIED, 0xC00000BA},   // Windows refuses to open a directory as a file
    {EROFS, ERROR_WRITE_PROTECT, 0},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE, 0xC0000106},  // STATUS_NAME_TOO_LONG
    {EEXIST, ERROR_FILE_EXISTS, 0},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES, 0xC000011F},  // STATUS_TOO_MANY_OPENED_FILES
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES, 0xC000011F},
    {ENOSPC, ERROR_DISK_FULL, 0xC000007F},       // STATUS_DISK_FULL
    {EDQUOT, ERROR_DISK_FULL, 0xC000007F},
    {EPIPE, ERROR_BROKEN_PIPE, 0xC000014B},      // STATUS_PIPE_BROKEN
    {EBADF, ERROR_INVALID_HANDLE, 0xC0000008},   // STATUS_INVALID_HANDLE
    {EINVAL, ERROR_INVALID_PARAMETER, 0xC000000D},  // STATUS_INVALID_PARAMETER
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY, 0xC000009A},
    {EIO, ERROR_IO_DEVICE, 0xC0000185},          // STATUS_IO_DEVICE_ERROR
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME, 0},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY, 0},
    {ETXTBSY, ERROR_SHARING_VIOLATION, 0xC0000043},  // STATUS_SHARING_VIOLATION
    {EBUSY, ERROR_SHARING_VIOLATION, 0xC0000043},
    {0, ERROR_MORE_DATA, 0x80000005},            // STATUS_BUFFER_OVERFLOW
    {0, ERROR_GEN_FAILURE, 0xC0000001},          // STATUS_UNSUCCESSFUL
    {0, ERROR_INVALID_FUNCTION, 0xC0000010},     // STATUS_INVALID_DEVICE_REQUEST
    {0, ERROR_NOT_SUPPORTED, 0xC00000BB},        // STATUS_NOT_SUPPORTED
};

const ErrorCodes *RowOfErrno(int error) {
  if (error == 0) return nullptr;
  for (const ErrorCodes &row : kErrorCodes)
    if (row.error == error) return &row;
  return nullptr;
}

}  // namespace

DWORD Win32ErrorFromErrno(int error) {
  if (error == 0) return ERROR_SUCCESS;
  const ErrorCodes *row = RowOfErrno(error);
  return row ? row->win32 : ERROR_GEN_FAILURE;
}

NTSTATUS NtStatusFromErrno(int error) {
  const ErrorCodes *row = RowOfErrno(error);
  return row && row->status ? static_cast<NTSTATUS>(row->status) : STATUS_UNSUCCESSFUL;
}

DWORD NtStatusToDosError(NTSTATUS status) {
  uint32_t code = static_cast<uint32_t>(status);
  if (code == 0) return ERROR_SUCCESS;
  if (code & 0x20000000u) return code;  // customer-defined: passed through as it is
  if ((code & 0xF0000000u) == 0xD0000000u) code &= ~0x10000000u;  // 0xD... means the same as 0xC...
  // FACILITY_NTWIN32 carries a Win32 code in its low word (NTSTATUS_FROM_WIN32).
  const uint32_t facility = (code >> 16) & 0x0FFFu;
  if (facility == FACILITY_NTWIN32 && (code >> 30) >= 2) return code & 0xFFFFu;
  for (const ErrorCodes &row : kErrorCodes)
    if (row.status == code) return row.win32;
  return ERROR_MR_MID_NOT_FOUND;  // what Windows answers for a status it has no mapping for
}

}  // namespace kvplat
