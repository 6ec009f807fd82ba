// What the process does with root before the program starts. Root is needed for one thing: this computer's
// configuration space, which the kernel lets only root read whole and write. So, when root runs on behalf
// of a user (sudo, pkexec), the functions' config files of the real /sys/bus/pci/devices are opened first,
// and then the process becomes that user for good; everything else (the driver, the service database, the
// run's files, the window library and the display) is opened with the user's rights. A machine that needs
// no root (the demo machine, a dump or machine file, a sysfs folder of the tests) gives root up before
// anything is opened. A root login, with no user to become, keeps root, and the host's one opener guards
// every path it opens.
//
// --unprivileged asks for the user's rights alone: root on behalf of a user becomes that user before it
// opens anything, this computer's functions included (which then show their first 64 bytes), as for a
// machine that needs no root. A root login has no user to become, and is refused: asked for no root, it
// would otherwise run with all of it. A process that is not root has nothing to give up.
#pragma once

namespace kvplat {

// False after saying why on standard error: the platform cannot start.
bool PrepareRights(bool unprivileged);

}  // namespace kvplat
