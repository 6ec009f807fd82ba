// The kernel's counted UTF-16 strings as the rest of the platform's UTF-8 ones.
#pragma once
#include <string>
#include <string_view>

#include <ddk/ntddk.h>

namespace kvplat {

// A sequence that does not convert becomes U+FFFD.
std::string Utf8Of(const UNICODE_STRING *text);
std::u16string Utf16Of(std::string_view text);

}  // namespace kvplat
