// RtlNtStatusToDosError for the statuses that drivers here return, by the same rules as Windows.
#include <cstdint>

#include "kvplat/io_manager.h"

namespace kvplat {

namespace {

struct StatusMapping {
  uint32_t status;
  DWORD error;
};

constexpr StatusMapping kMappings[] = {
    {0x80000005, ERROR_MORE_DATA},             // STATUS_BUFFER_OVERFLOW
    {0xC0000001, ERROR_GEN_FAILURE},           // STATUS_UNSUCCESSFUL
    {0xC0000002, ERROR_INVALID_FUNCTION},      // STATUS_NOT_IMPLEMENTED
    {0xC0000004, ERROR_BAD_LENGTH},            // STATUS_INFO_LENGTH_MISMATCH
    {0xC0000005, ERROR_NOACCESS},              // STATUS_ACCESS_VIOLATION
    {0xC0000008, ERROR_INVALID_HANDLE},        // STATUS_INVALID_HANDLE
    {0xC000000D, ERROR_INVALID_PARAMETER},     // STATUS_INVALID_PARAMETER
    {0xC000000E, ERROR_FILE_NOT_FOUND},        // STATUS_NO_SUCH_DEVICE
    {0xC000000F, ERROR_FILE_NOT_FOUND},        // STATUS_NO_SUCH_FILE
    {0xC0000010, ERROR_INVALID_FUNCTION},      // STATUS_INVALID_DEVICE_REQUEST
    {0xC0000011, ERROR_HANDLE_EOF},            // STATUS_END_OF_FILE
    {0xC0000017, ERROR_NOT_ENOUGH_MEMORY},     // STATUS_NO_MEMORY
    {0xC0000022, ERROR_ACCESS_DENIED},         // STATUS_ACCESS_DENIED
    {0xC0000023, ERROR_INSUFFICIENT_BUFFER},   // STATUS_BUFFER_TOO_SMALL
    {0xC0000024, ERROR_INVALID_HANDLE},        // STATUS_OBJECT_TYPE_MISMATCH
    {0xC0000033, ERROR_INVALID_NAME},          // STATUS_OBJECT_NAME_INVALID
    {0xC0000034, ERROR_FILE_NOT_FOUND},        // STATUS_OBJECT_NAME_NOT_FOUND
    {0xC0000035, ERROR_ALREADY_EXISTS},        // STATUS_OBJECT_NAME_COLLISION
    {0xC000003A, ERROR_PATH_NOT_FOUND},        // STATUS_OBJECT_PATH_NOT_FOUND
    {0xC0000043, ERROR_SHARING_VIOLATION},     // STATUS_SHARING_VIOLATION
    {0xC000007B, ERROR_BAD_EXE_FORMAT},        // STATUS_INVALID_IMAGE_FORMAT
    {0xC000009A, ERROR_NO_SYSTEM_RESOURCES},   // STATUS_INSUFFICIENT_RESOURCES
    {0xC00000A3, ERROR_NOT_READY},             // STATUS_DEVICE_NOT_READY
    {0xC00000BB, ERROR_NOT_SUPPORTED},         // STATUS_NOT_SUPPORTED
    {0xC00000C0, ERROR_DEV_NOT_EXIST},         // STATUS_DEVICE_DOES_NOT_EXIST
    {0xC0000106, ERROR_FILENAME_EXCED_RANGE},  // STATUS_NAME_TOO_LONG
    {0xC000011F, ERROR_TOO_MANY_OPEN_FILES},   // STATUS_TOO_MANY_OPENED_FILES
    {0xC0000182, ERROR_INVALID_PARAMETER},     // STATUS_DEVICE_CONFIGURATION_ERROR
    {0xC0000183, ERROR_IO_DEVICE},             // STATUS_DRIVER_INTERNAL_ERROR
    {0xC0000185, ERROR_IO_DEVICE},             // STATUS_IO_DEVICE_ERROR
};

}  // namespace

DWORD NtStatusToDosError(NTSTATUS status) {
  uint32_t code = static_cast<uint32_t>(status);
  if (code == 0) return ERROR_SUCCESS;
  if (code & 0x20000000u) return code;  // customer-defined: passed through as it is
  if ((code & 0xF0000000u) == 0xD0000000u) code &= ~0x10000000u;  // 0xD... means the same as 0xC...
  // FACILITY_NTWIN32 carries a Win32 code in its low word (NTSTATUS_FROM_WIN32).
  const uint32_t facility = (code >> 16) & 0x0FFFu;
  if (facility == FACILITY_NTWIN32 && (code >> 30) >= 2) return code & 0xFFFFu;
  for (const StatusMapping &mapping : kMappings) {
    if (mapping.status == code) return mapping.error;
  }
  return ERROR_MR_MID_NOT_FOUND;  // what Windows answers for a status it has no mapping for
}

}  // namespace kvplat
