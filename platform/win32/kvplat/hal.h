// The HAL's configuration space on Linux (platform/win32/hal): the functions that a folder laid out like
// /sys/bus/pci/devices lists, one PCI domain of them. The routines themselves are the DDK's
// HalGetBusDataByOffset and HalSetBusDataByOffset.
#pragma once
#include <cstdint>
#include <string>

namespace kvplat {

// The folder and domain the HAL serves from now on; "" for a computer without PCI buses. The folder is
// listed once, at the first call of a bus-data routine after this.
void ConfigureHalBuses(const std::string &root, uint32_t domain);

// Whether the folder lists at least one function (of any domain).
bool SysfsListsAnyFunction(const std::string &root);

}  // namespace kvplat
