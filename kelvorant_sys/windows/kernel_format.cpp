#include "kernel_format.h"

#include <cstdint>

namespace kvwin {

namespace {

// Writes into out[0, size - 1) and counts every character, written or not.
struct Output {
  char *out;
  size_t size;
  size_t count = 0;

  void Put(char c) {
    if (size && count < size - 1) out[count] = c;
    ++count;
  }
  void Repeat(char c, int n) {
    for (int i = 0; i < n; ++i) Put(c);
  }
};

// The next argument of an integer conversion, by its length modifier.
uintmax_t TakeInteger(va_list &args, char conversion, int longs, bool size, bool *negative) {
  if (conversion == 'd') {
    const intmax_t v = size ? static_cast<intmax_t>(va_arg(args, size_t))
                       : longs == 2 ? va_arg(args, long long)
                       : longs == 1 ? va_arg(args, long)
                                    : va_arg(args, int);
    *negative = v < 0;
    return v < 0 ? uintmax_t{0} - static_cast<uintmax_t>(v) : static_cast<uintmax_t>(v);
  }
  return size ? va_arg(args, size_t)
         : longs == 2 ? va_arg(args, unsigned long long)
         : longs == 1 ? va_arg(args, unsigned long)
                      : va_arg(args, unsigned);
}

}  // namespace

int FormatV(char *buffer, size_t size, const char *format, va_list incoming) {
  Output out{buffer, size};
  va_list args;
  va_copy(args, incoming);
  for (const char *p = format; *p; ++p) {
    if (*p != '%') {
      out.Put(*p);
      continue;
    }
    const char *start = p++;
    const bool zero = *p == '0';
    int width = 0, precision = -1, longs = 0;
    while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    if (*p == '.') {
      precision = 0;
      while (*++p >= '0' && *p <= '9') precision = precision * 10 + (*p - '0');
    }
    for (; *p == 'l' && longs < 2; ++p) ++longs;
    const bool size_arg = !longs && *p == 'z';
    if (size_arg) ++p;

    char digits[sizeof(uintmax_t) * 3 + 2];
    const char *text = nullptr;
    int length = 0;
    const char *sign = "";
    switch (*p) {
      case 'd':
      case 'u':
      case 'x':
      case 'X': {
        bool negative = false;
        uintmax_t value = TakeInteger(args, *p, longs, size_arg, &negative);
        const unsigned base = *p == 'x' || *p == 'X' ? 16 : 10;
        const char *set = *p == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
        sign = negative ? "-" : "";
        // Digits from the right; a precision of 0 prints none for the value 0.
        char *end = digits + sizeof digits;
        char *at = end;
        for (; value || (at == end && precision != 0); value /= base) *--at = set[value % base];
        text = at;
        length = static_cast<int>(end - at);
        break;
      }
      case 'c':
        digits[0] = static_cast<char>(va_arg(args, int));
        text = digits;
        length = 1;
        precision = -1;
        break;
      case 's':
        text = va_arg(args, const char *);
        if (!text) text = "(null)";
        while (text[length] && (precision < 0 || length < precision)) ++length;
        precision = -1;
        break;
      case '%':
        out.Put('%');
        continue;
      default:
        // Not a conversion this formatter knows (or the format ends): the text is copied as it stands.
        for (const char *q = start; q <= p && *q; ++q) out.Put(*q);
        if (!*p) --p;
        continue;
    }
    // Sign, zeros up to the precision, digits, padded to the width: with zeros after the sign when the 0
    // flag asks for it and no precision is given.
    const int sign_length = *sign ? 1 : 0;
    const int zeros = precision > length ? precision - length : 0;
    const int pad = width > sign_length + zeros + length ? width - sign_length - zeros - length : 0;
    const bool zero_pad = zero && precision < 0 && *p != 's' && *p != 'c';
    if (!zero_pad) out.Repeat(' ', pad);
    if (*sign) out.Put('-');
    out.Repeat('0', zeros + (zero_pad ? pad : 0));
    for (int i = 0; i < length; ++i) out.Put(text[i]);
  }
  va_end(args);
  if (size) buffer[out.count < size ? out.count : size - 1] = '\0';
  return static_cast<int>(out.count);
}

int Format(char *out, size_t size, const char *format, ...) {
  va_list args;
  va_start(args, format);
  const int n = FormatV(out, size, format, args);
  va_end(args);
  return n;
}

}  // namespace kvwin
