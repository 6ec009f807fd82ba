// The driver's settings: values under its service key, which the kernel names to DriverEntry.
#pragma once
#include <cstddef>

#include "wdk.h"

namespace kvwin {

// Reads the string value `name` of the key at `key_path` into out (at most size - 1 characters, NUL-ended;
// characters beyond ASCII become '?'). False when the key or the value is missing or not a string.
bool ReadServiceString(PUNICODE_STRING key_path, const wchar_t *name, char *out, size_t size);

}  // namespace kvwin
