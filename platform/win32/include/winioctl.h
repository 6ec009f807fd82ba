/* Device I/O control codes. */
#pragma once

#define CTL_CODE(DeviceType, Function, Method, Access) \
  (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#define METHOD_FROM_CTL_CODE(ctrlCode) ((DWORD)((ctrlCode) & 3))

#define FILE_DEVICE_UNKNOWN 0x00000022

#define METHOD_BUFFERED 0

#define FILE_ANY_ACCESS 0
#define FILE_READ_ACCESS 0x0001
#define FILE_WRITE_ACCESS 0x0002
