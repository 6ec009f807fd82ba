// SDDL, the text Windows' own tools print for a security descriptor ("D:P(A;;GA;;;SY)(A;;GA;;;BA)"), of a
// descriptor in self-relative form, as the platform's kernel keeps the one a driver set on its device
// (kvplat::DeviceSecurity). What the reader does not know or cannot follow shows as "?", so that a comparison
// fails on it.
#pragma once
#include <string>
#include <vector>

namespace kvtest {

std::string SddlOf(const std::vector<unsigned char> &descriptor);

}  // namespace kvtest
