// kernel32's handle objects: an open file, and an open device of a driver running in this process.
#pragma once
#include <unistd.h>

#include "kvplat/handles.h"
#include "kvplat/io_manager.h"

namespace kvplat {

// Access that a handle was opened with, from CreateFileA's dwDesiredAccess.
struct FileAccess {
  bool read = false;
  bool write = false;
};
FileAccess FileAccessFromDesired(DWORD desiredAccess);

struct FileObject : HandleObject {
  FileObject(int fd, FileAccess access) : HandleObject(HandleType::File), fd(fd), access(access) {}
  ~FileObject() override { ::close(fd); }
  int fd;
  FileAccess access;
};

struct DeviceFileObject : HandleObject {
  DeviceFileObject(DeviceFileRef file, FileAccess access)
      : HandleObject(HandleType::Device), file(std::move(file)), access(access) {}
  DeviceFileRef file;
  FileAccess access;
};

// CreateFileA on "\\.\name": a handle of the device `name`, or INVALID_HANDLE_VALUE with the last error set.
HANDLE OpenDeviceFile(const std::string &name, DWORD desiredAccess);

}  // namespace kvplat
