// The device interface of KELVORANT.sys: four buffered control codes and their two request buffers. This is
// the driver's own copy of its public interface; a program talking to \\.\Kelvorant must agree with it byte
// for byte.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kvsys {

// CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, FILE_ANY_ACCESS)
constexpr uint32_t KvCtlCode(uint32_t function) { return 0x22u << 16 | function << 2; }

constexpr uint32_t IOCTL_READ_CONFIG = KvCtlCode(0x900);
constexpr uint32_t IOCTL_WRITE_CONFIG = KvCtlCode(0x901);
constexpr uint32_t IOCTL_READ_EXT_CONFIG = KvCtlCode(0x904);
constexpr uint32_t IOCTL_WRITE_EXT_CONFIG = KvCtlCode(0x905);
static_assert(IOCTL_READ_CONFIG == 0x222400 && IOCTL_WRITE_CONFIG == 0x222404);
static_assert(IOCTL_READ_EXT_CONFIG == 0x222410 && IOCTL_WRITE_EXT_CONFIG == 0x222414);

// The simulated hardware's test port (test_port.h): a command line in, the reason it was refused out (no
// bytes when it was done). Only the kernel's own requests reach it (RequestorMode KernelMode): on this
// platform the headless front end's `machine ...` script actions, which a kernel-mode test harness sends
// the way IoBuildDeviceIoControlRequest does. From user mode it is an unknown request.
constexpr uint32_t IOCTL_KELVORANT_TEST_PORT = KvCtlCode(0x9f0);

// Completion words.
constexpr uint32_t kConfigAbsent = 0;   // ConfigRequest: nothing answered at the address, data all 0xFF
constexpr uint32_t kConfigDone = 1;     // ConfigRequest: data holds the registers / was written
constexpr uint32_t kRequestFailed = 2;  // either request: the access failed
constexpr uint32_t kExtConfigDone = 0;  // ExtConfigRequest: done

#pragma pack(push, 1)

// Standard configuration space, offsets 0x00-0xff.
struct ConfigRequest {
  uint32_t bus;
  uint32_t device;
  uint32_t function;
  uint8_t data[256];  // byte i is offset i
  uint32_t status;
};

// Extended configuration space, offsets 0x100-0xfff.
struct ExtConfigRequest {
  uint32_t bus;
  uint32_t device;
  uint32_t function;
  uint8_t data[3840];  // byte i is offset 0x100 + i
  uint32_t status;
};

#pragma pack(pop)

static_assert(sizeof(ConfigRequest) == 272);
static_assert(offsetof(ConfigRequest, bus) == 0 && offsetof(ConfigRequest, device) == 4 &&
              offsetof(ConfigRequest, function) == 8 && offsetof(ConfigRequest, data) == 12 &&
              offsetof(ConfigRequest, status) == 268);
static_assert(sizeof(ExtConfigRequest) == 3856);
static_assert(offsetof(ExtConfigRequest, bus) == 0 && offsetof(ExtConfigRequest, device) == 4 &&
              offsetof(ExtConfigRequest, function) == 8 && offsetof(ExtConfigRequest, data) == 12 &&
              offsetof(ExtConfigRequest, status) == 3852);

// The four requests, in a form that tables can index.
enum class RequestKind { kReadConfig, kWriteConfig, kReadExtConfig, kWriteExtConfig };

struct RequestInfo {
  RequestKind kind;
  uint32_t code;
  const char *name;
  uint32_t size;          // the buffer size, input and output alike
  uint32_t data_length;   // bytes of configuration space in data
  uint32_t status_at;     // offset of the status word in the buffer
  unsigned first_byte;    // configuration offset of data[0]
  bool write;
  bool extended;
};

// Both buffers start with bus, device and function, then data.
constexpr size_t kRequestAddressBytes = offsetof(ConfigRequest, data);
static_assert(offsetof(ExtConfigRequest, data) == kRequestAddressBytes);

// Null for an unknown control code.
const RequestInfo *FindRequestByCode(uint32_t code);
const RequestInfo *FindRequestByName(const char *name, size_t length);
const RequestInfo &InfoOf(RequestKind kind);

}  // namespace kvsys
