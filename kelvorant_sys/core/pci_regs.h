// Configuration-space registers that the driver's simulated hardware needs to know about: the places whose
// writability differs from plain memory, and the capability chains. Offsets are bytes from the start of the
// function's configuration space; values are little-endian on the bus.
#pragma once
#include <cstdint>

namespace kvsys {

// Header common to every header type.
constexpr unsigned kRegVendorId = 0x00;        // 16 bits, read-only
constexpr unsigned kRegCommand = 0x04;         // 16 bits
constexpr unsigned kRegStatus = 0x06;          // 16 bits, error bits write-one-to-clear
constexpr unsigned kRegRevisionClass = 0x08;   // revision ID and the 24-bit class code, read-only
constexpr unsigned kRegCacheLineSize = 0x0c;   // 8 bits
constexpr unsigned kRegLatencyTimer = 0x0d;    // 8 bits
constexpr unsigned kRegHeaderType = 0x0e;      // 8 bits, read-only
constexpr unsigned kHeaderSize = 0x40;         // end of the type-specific header
constexpr unsigned kStandardSize = 0x100;      // end of the standard configuration space
constexpr unsigned kExtendedSize = 0x1000;     // end of the extended (PCI Express) configuration space

constexpr uint8_t kHeaderTypeMask = 0x7f;      // bit 7 of the header type flags a multi-function device
constexpr uint8_t kHeaderNormal = 0;
constexpr uint8_t kHeaderBridge = 1;
constexpr uint8_t kHeaderCardBus = 2;

// Command register bits that software sets: I/O, memory, bus master, memory-write-and-invalidate, parity
// response, SERR# enable, INTx disable. Special cycles, VGA snoop, stepping and fast back-to-back are
// hardwired in practice.
constexpr uint16_t kCommandWritable = 0x0001 | 0x0002 | 0x0004 | 0x0010 | 0x0040 | 0x0100 | 0x0400;
constexpr uint16_t kStatusCapList = 0x0010;    // a capability list starts at the capability pointer
// Status error bits, cleared by writing one: master data parity error, signalled/received target abort,
// received master abort, signalled system error, detected parity error. The same bits in a bridge's
// secondary status.
constexpr uint16_t kStatusErrorBits = 0x0100 | 0x0800 | 0x1000 | 0x2000 | 0x4000 | 0x8000;

// Base address registers.
constexpr uint32_t kBarIoSpace = 0x1;          // bit 0: I/O space (else memory)
constexpr uint32_t kBarMemTypeMask = 0x6;      // bits 2:1 of a memory BAR
constexpr uint32_t kBarMemType64 = 0x4;        // a 64-bit BAR: the next register holds the upper half
constexpr uint32_t kBarIoWritable = 0xfffffffc;
constexpr uint32_t kBarMemWritable = 0xfffffff0;
constexpr uint32_t kRomWritable = 0xfffff801;  // address bits 31:11 and the enable bit

// Header type 0: a device.
constexpr unsigned kRegBar0 = 0x10;            // six BARs, 0x10 to 0x27
constexpr unsigned kRegSubsystem = 0x2c;       // subsystem vendor and ID, read-only
constexpr unsigned kRegRomAddress = 0x30;
constexpr unsigned kRegCapabilityPtr = 0x34;   // types 0 and 1
constexpr unsigned kRegInterruptLine = 0x3c;

// Header type 1: a PCI-to-PCI bridge.
constexpr unsigned kRegPrimaryBus = 0x18;      // primary, secondary, subordinate bus, secondary latency
constexpr unsigned kRegIoBase = 0x1c;          // I/O base and limit, low nibble gives 16/32-bit decode
constexpr unsigned kRegSecondaryStatus = 0x1e;
constexpr unsigned kRegMemoryBase = 0x20;      // memory base and limit, 16 bits each
constexpr unsigned kRegPrefBase = 0x24;        // prefetchable base and limit, low nibble gives 32/64-bit
constexpr unsigned kRegPrefBaseUpper = 0x28;   // upper halves of the prefetchable window, 0x28 to 0x2f
constexpr unsigned kRegIoBaseUpper = 0x30;     // upper halves of the I/O window, 0x30 to 0x33
constexpr unsigned kRegBridgeRom = 0x38;
constexpr unsigned kRegBridgeControl = 0x3e;
constexpr uint8_t kWindowWide = 0x1;           // low nibble of I/O or prefetchable base: 32/64-bit window
constexpr uint16_t kBridgeControlWritable = 0x0bff;  // bits 0-9 and 11 (discard timer SERR# enable)
constexpr uint16_t kBridgeControlW1c = 0x0400;       // discard timer status

// Header type 2: a CardBus bridge.
constexpr unsigned kRegCardBusSocket = 0x10;   // socket/ExCa base, 4 KiB aligned memory
constexpr unsigned kRegCardBusCapPtr = 0x14;
constexpr unsigned kRegCardBusSecStatus = 0x16;
constexpr unsigned kRegCardBusWindows = 0x1c;  // two memory windows then two I/O windows, to 0x3b
constexpr unsigned kRegCardBusIoWindows = 0x2c;
constexpr unsigned kRegCardBusSubsystem = 0x40;  // subsystem vendor and ID, read-only
constexpr uint32_t kCardBusMemWritable = 0xfffff000;
constexpr uint16_t kCardBusControlWritable = 0x07ef;  // bits 0-3 and 5-10

// Capability chains. Standard capabilities live in 0x40-0xff, two header bytes each (ID, next pointer with
// its two low bits reserved); extended capabilities from 0x100 on, one header dword (ID 15:0, version 19:16,
// next offset 31:20).
constexpr uint8_t kCapPointerMask = 0xfc;
constexpr unsigned kExtCapNextShift = 20;
constexpr uint32_t kExtCapNextMask = 0xffc;

}  // namespace kvsys
