// Devices from user mode: CreateFileA("\\.\Name") and DeviceIoControl. The requests themselves are the I/O
// manager's (ntoskrnl); this file checks the handle and the caller's arguments.
#include <windows.h>
#include <winioctl.h>

#include "kernel_objects.h"

namespace kvplat {

HANDLE OpenDeviceFile(const std::string &name, DWORD desiredAccess) {
  DeviceFileRef file;
  if (DWORD error = CreateDeviceFile(name, &file)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(std::make_shared<DeviceFileObject>(std::move(file), FileAccessFromDesired(desiredAccess)));
}

}  // namespace kvplat

using namespace kvplat;

extern "C" BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                       DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                                       LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  auto file = LookupHandleAs<DeviceFileObject>(hDevice, HandleType::Device);
  if (!file) {
    // A file handle reaches its file system, which knows none of these control codes.
    SetLastError(LookupHandle(hDevice, HandleType::File) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpOverlapped != nullptr) {  // every request here completes synchronously
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The access bits of the control code name the rights that the handle must have been opened with.
  const DWORD required = (dwIoControlCode >> 14) & 3;
  if (((required & FILE_READ_ACCESS) && !file->access.read) || ((required & FILE_WRITE_ACCESS) && !file->access.write)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD returned = 0;
  DWORD error = SendDeviceControl(*file->file, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                  nOutBufferSize, &returned);
  if (lpBytesReturned) *lpBytesReturned = returned;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}
