// printf-style formatting for the kernel build, where the C library's formatter is not available, for the
// formats the driver and its JSON reader write. It follows C99 vsnprintf: the result is the length the whole
// text would have, and out always ends in a NUL when size is not 0. Conversions: d u x X s c %, the 0 flag, a
// width, a precision and the length modifiers l ll z. Any other conversion is copied as it stands.
#pragma once
#include <cstdarg>
#include <cstddef>

namespace kvwin {

int FormatV(char *buffer, size_t size, const char *format, va_list incoming);
int Format(char *out, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));

}  // namespace kvwin
