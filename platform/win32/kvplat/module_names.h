// The names of the driver modules that the kernel loaded, for the lines the kernel and the HAL say on a
// driver's behalf ("KELVORANT.sys: ..."). A module is loaded from a descriptor, so the dynamic loader knows
// it by that descriptor's name; the kernel keeps the image's own.
#pragma once
#include <string>

namespace kvplat {

// The file name of the loaded driver image whose code holds `address`; for other code (a test program), the
// file name of its module.
std::string ModuleNameAt(const void *address);

}  // namespace kvplat
