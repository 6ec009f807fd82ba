// printf-style formatting for the kernel build, where the C library's formatter is not available. It
// follows C99 vsnprintf: the result is the length the whole text would have, and out always ends in a NUL
// when size is not 0. Conversions: d i u x X o c s p %, flags - 0 + space #, a width and a precision (or *),
// and the length modifiers hh h l ll j z t. Floating point is not supported: %f and the like are copied
// as they stand, as is any other unknown conversion.
#pragma once
#include <cstdarg>
#include <cstddef>

namespace kvwin {

int FormatV(char *buffer, size_t size, const char *format, va_list incoming);
int Format(char *out, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));

}  // namespace kvwin
