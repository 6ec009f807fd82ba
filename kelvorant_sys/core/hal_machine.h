// The machine of a computer reached through the HAL's bus-data routines (HalGetBusDataByOffset and
// HalSetBusDataByOffset on PCIConfiguration): Windows' own HAL, or on Linux the platform's, which reads sysfs.
// An address where nothing answers is absent, bytes the HAL does not return (extended space, on most
// systems; all but the first 64 for an unprivileged reader of sysfs) read as 0xFF, and a write puts back
// only the registers that differ from the device, highest first and never the identification registers
// (the core's restore plan).
//
// Where the ACPI table MCFG maps the function's bus (core/ecam.h), its extended space (0x100-0xFFF) is
// read and written through ECAM instead, which the HAL's routines do not reach on most systems; the
// standard space stays with the HAL. It is the path both Windows and Linux take for the first 256 bytes,
// it serialises with the system's own accesses, and it can write the command register as a 16-bit word:
// ECAM here writes whole dwords only, and a dword at 0x04 would carry the status register's
// write-one-to-clear bits along. The function must answer the HAL's vendor ID read (the present-check)
// before its window is mapped.
//
// The routines come in as function pointers so that the machine is the same code in the driver and in the
// tests, which give it a simulated bus.
#pragma once
#include <cstdint>
#include <memory>

#include "core/ecam.h"
#include "core/machine.h"

namespace kvsys {

// PCI_SLOT_NUMBER as a ULONG: the device number in bits 0-4, the function number in bits 5-7.
constexpr uint32_t PciSlotNumber(uint32_t device, uint32_t function) { return (device & 0x1f) | (function & 7) << 5; }

struct HalBus {
  // As HalGetBusDataByOffset: the number of bytes read, 0 when the bus does not exist; an empty slot reads
  // as 2 bytes of vendor ID 0xFFFF.
  uint32_t (*get)(void *context, uint32_t bus, uint32_t slot, void *buffer, uint32_t offset, uint32_t length);
  // As HalSetBusDataByOffset: the number of bytes written.
  uint32_t (*set)(void *context, uint32_t bus, uint32_t slot, const void *buffer, uint32_t offset, uint32_t length);
  void *context;
};

// True when some device on bus 0 answers: the HAL reaches configuration space (it does not under Wine).
bool HalReachesConfigSpace(const HalBus &bus);

class HalMachine final : public Machine {
 public:
  explicit HalMachine(const HalBus &bus, EcamSpace ecam = {});
  ~HalMachine() override;

  Access Read(FunctionIndex fn, unsigned offset, unsigned length, uint8_t *out) override;
  Access Write(FunctionIndex fn, unsigned offset, unsigned length, const uint8_t *data) override;
  ControlResult Control(std::string_view command, std::string *text) override;

 private:
  bool Present(uint32_t bus, uint32_t slot);
  // Reads [offset, offset + length) into out; what the HAL does not return is 0xFF. Returns the byte count
  // that the HAL returned.
  uint32_t ReadRange(uint32_t bus, uint32_t slot, unsigned offset, unsigned length, uint8_t *out);
  // The physical address of the function's ECAM window when the request is for extended space on a bus
  // that MCFG maps, else 0 (the HAL serves it).
  uint64_t EcamWindow(const PciAddress &a, unsigned offset) const;

  HalBus bus_;
  EcamSpace ecam_;
  // The device's present bytes during a write, kept off the kernel stack; requests come one at a time.
  std::unique_ptr<uint8_t[]> present_;
};

}  // namespace kvsys
