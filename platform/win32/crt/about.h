// What kelvorant says about itself on standard output, before the platform prepares anything: the usage
// (--help), and the version (--version) that the program's VS_VERSION_INFO resource holds, as the file's
// properties show it on Windows.
#pragma once

namespace kvplat {

// The exit status: 0, or kExitOutputFailure after saying that standard output could not be written.
int PrintUsage();

// Reads the resource through FindResource and LoadResource: the module's resources must be registered.
// kExitPlatformFailure after saying so when it has no version resource that reads.
int PrintVersion();

}  // namespace kvplat
