// The driver's settings: values under its service key, which the kernel names to DriverEntry.
#pragma once
#include <string>

#include "wdk.h"

namespace kvsys {

// Reads the string value `name` (REG_SZ or REG_EXPAND_SZ) of the key at `key_path` into *out, as UTF-8.
// False when the key or the value is missing or not a string.
bool ReadServiceString(PUNICODE_STRING key_path, PCWSTR name, std::string *out);

}  // namespace kvsys
