// The machine of a computer reached through the HAL's bus-data routines (HalGetBusDataByOffset and
// HalSetBusDataByOffset on PCIConfiguration): Windows' own HAL, or on Linux the platform's, which reads sysfs.
// An address where nothing answers is absent, bytes the HAL does not return (extended space, on most
// systems; all but the first 64 for an unprivileged reader of sysfs) read as 0xFF, and a write puts back
// only what the restore plan (core/restore_plan.h) writes.
//
// Where the ACPI table MCFG maps the function's bus (core/ecam.h), its extended space (0x100-0xFFF) is
// read and written through ECAM instead, which the HAL's routines do not reach on most systems, once the
// function has answered the HAL's vendor ID read. The standard space stays with the HAL: it is the path
// both Windows and Linux take, it serialises with the system's own accesses, and it can write the command
// register as a 16-bit word, where ECAM writes whole dwords and one at 0x04 would carry the status
// register's write-one-to-clear bits along. The routines come in as function pointers, so that the tests
// can give the machine a simulated bus.
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
  bool Control(std::string_view command, std::string *text) override;

 private:
  HalBus bus_;
  EcamSpace ecam_;
  // The device's present bytes during a write, kept off the kernel stack; requests come one at a time.
  std::unique_ptr<uint8_t[]> present_;
};

}  // namespace kvsys
