// The device interface of KELVORANT.sys, as any client of \\.\Kelvorant may know it: four buffered control
// codes and their two request buffers, the completion words, and the private control code of the simulated
// hardware's test port. A program talking to the device must agree with it byte for byte; the driver's core
// builds on it (core/requests.h).
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

// The simulated hardware's test port: a command line in ("reset 02:00.0", "poke 02:00.0 40 aa bb",
// "unplug 02:00.0", "plug 02:00.0"), the reason it was refused out (no bytes when it was done). Only the
// kernel's own requests reach it (RequestorMode KernelMode), as a kernel-mode test harness sends them with
// IoBuildDeviceIoControlRequest; from user mode it is an unknown request.
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

// Both buffers start with bus, device and function, then data.
constexpr size_t kRequestAddressBytes = offsetof(ConfigRequest, data);
static_assert(offsetof(ExtConfigRequest, data) == kRequestAddressBytes);

}  // namespace kvsys
