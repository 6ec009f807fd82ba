// The four requests that the program exchanges with KELVORANT.sys, and their two buffer formats.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <cstddef>

#define IOCTL_READ_CONFIG CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_WRITE_CONFIG CTL_CODE(FILE_DEVICE_UNKNOWN, 0x901, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_READ_EXT_CONFIG CTL_CODE(FILE_DEVICE_UNKNOWN, 0x904, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_WRITE_EXT_CONFIG CTL_CODE(FILE_DEVICE_UNKNOWN, 0x905, METHOD_BUFFERED, FILE_ANY_ACCESS)

static_assert(IOCTL_READ_CONFIG == 0x222400, "IOCTL_READ_CONFIG");
static_assert(IOCTL_WRITE_CONFIG == 0x222404, "IOCTL_WRITE_CONFIG");
static_assert(IOCTL_READ_EXT_CONFIG == 0x222410, "IOCTL_READ_EXT_CONFIG");
static_assert(IOCTL_WRITE_EXT_CONFIG == 0x222414, "IOCTL_WRITE_EXT_CONFIG");

#pragma pack(push, 1)

// Standard configuration space of one function: offsets 0x00 to 0xFF.
struct ConfigRequest {
  ULONG bus;        // 0 to 255
  ULONG device;     // 0 to 31
  ULONG function;   // 0 to 7
  UCHAR data[256];  // byte i is the register byte at offset i
  ULONG status;     // written by the driver: 0 nothing answered, 2 the access failed, else done
};

// Extended configuration space of one function: offsets 0x100 to 0xFFF.
struct ExtConfigRequest {
  ULONG bus;
  ULONG device;
  ULONG function;
  UCHAR data[3840];  // byte i is the register byte at offset 0x100 + i
  ULONG status;      // written by the driver: 0 done, anything else failed
};

#pragma pack(pop)

static_assert(sizeof(ConfigRequest) == 272, "ConfigRequest is 272 bytes");
static_assert(offsetof(ConfigRequest, bus) == 0 && offsetof(ConfigRequest, device) == 4 &&
                  offsetof(ConfigRequest, function) == 8 && offsetof(ConfigRequest, data) == 12 &&
                  offsetof(ConfigRequest, status) == 268,
              "ConfigRequest layout");
static_assert(sizeof(ExtConfigRequest) == 3856, "ExtConfigRequest is 3856 bytes");
static_assert(offsetof(ExtConfigRequest, bus) == 0 && offsetof(ExtConfigRequest, device) == 4 &&
                  offsetof(ExtConfigRequest, function) == 8 && offsetof(ExtConfigRequest, data) == 12 &&
                  offsetof(ExtConfigRequest, status) == 3852,
              "ExtConfigRequest layout");

// ConfigRequest status words: nothing answered at the address, or the access failed; any other value means
// the request was done.
#define CONFIG_STATUS_ABSENT 0
#define CONFIG_STATUS_FAILED 2
// The ExtConfigRequest status word of a request that was done; any other value means it failed.
#define EXT_CONFIG_STATUS_DONE 0

inline BOOL ConfigRequestDone(const ConfigRequest &request) {
  return request.status != CONFIG_STATUS_ABSENT && request.status != CONFIG_STATUS_FAILED;
}

// The device \\.\Kelvorant, opened once at start-up and never closed by the program.
extern HANDLE g_hDevice;

// Sends one request with `buffer` (a zero-filled ConfigRequest or ExtConfigRequest of `size` bytes, its
// address and data set) as input and output. Returns FALSE, after writing "Error in DeviceIoControl : %d" to
// standard output, when the call fails or does not return the whole buffer; the status word is the
// caller's to judge.
BOOL SendDeviceRequest(DWORD code, void *buffer, DWORD size);
