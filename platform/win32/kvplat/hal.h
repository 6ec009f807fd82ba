// The HAL's configuration space on Linux (platform/win32/hal): the functions that a folder laid out like
// /sys/bus/pci/devices lists, one PCI domain of them. The routines themselves are the DDK's
// HalGetBusDataByOffset and HalSetBusDataByOffset.
#pragma once
#include <cstdint>
#include <string>

namespace kvplat {

// The folder and domain the HAL serves from now on; "" for a computer without PCI buses. The folder is
// listed, and its functions' config files opened, at the first call of a bus-data routine after this,
// unless OpenHalBuses did it already for the same folder and domain.
void ConfigureHalBuses(const std::string &root, uint32_t domain);

// Lists the folder and opens its functions' config files now (read-write where this process may), so that
// they stay open when the process gives up root. `mustBeSysfs`: the folder must be on the kernel's sysfs.
// False with the reason when the folder cannot be listed, is not sysfs, or its files do not fit under the
// descriptor limit; lines about single functions are said at the first call of a bus-data routine.
bool OpenHalBuses(const std::string &root, uint32_t domain, bool mustBeSysfs, std::string *why);

// Whether the folder lists at least one function (of any domain).
bool SysfsListsAnyFunction(const std::string &root);

}  // namespace kvplat
