// SDDL, the text Windows' own tools print for a security descriptor ("D:P(A;;GA;;;SY)(A;;GA;;;BA)"), of the
// DACL that a driver last set on a device. The platform's kernel keeps no descriptor, so the test kernel
// links ObOpenObjectByPointer and ZwSetSecurityObject of its own in place of the platform's, which keep it.
// What the reader does not know or cannot follow shows as "?", so that a comparison fails on it.
#pragma once
#include <string>

namespace kvtest {

std::string LastDeviceSddl();

}  // namespace kvtest
