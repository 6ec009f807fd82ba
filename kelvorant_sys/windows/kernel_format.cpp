#include "kernel_format.h"

#include <cstdint>

namespace kvwin {

namespace {

// Writes into out[0, size - 1) and counts every character, written or not.
class Output {
 public:
  Output(char *out, size_t size) : out_(out), size_(size) {}

  void Put(char c) {
    if (size_ && count_ < size_ - 1) out_[count_] = c;
    ++count_;
  }
  void Repeat(char c, int n) {
    for (int i = 0; i < n; ++i) Put(c);
  }
  int Finish() {
    if (size_) out_[count_ < size_ ? count_ : size_ - 1] = '\0';
    return static_cast<int>(count_);
  }

 private:
  char *out_;
  size_t size_;
  size_t count_ = 0;
};

struct Conversion {
  bool left = false, zero = false, plus = false, space = false, alternate = false;
  int width = 0;
  int precision = -1;  // -1: none given
};

enum class Length { kDefault, kChar, kShort, kLong, kLongLong, kMax, kSize, kPtrdiff };

// Lays out one field: sign or prefix, zeros, digits, padding, as the flags ask.
void PutField(Output &out, const Conversion &conv, const char *prefix, const char *digits, int digit_count) {
  int prefix_length = 0;
  while (prefix[prefix_length]) ++prefix_length;
  const int zeros = conv.precision > digit_count ? conv.precision - digit_count : 0;
  const int body = prefix_length + zeros + digit_count;
  const int pad = conv.width > body ? conv.width - body : 0;
  // The 0 flag pads with zeros after the sign, unless a precision or the - flag is given.
  const bool zero_pad = conv.zero && !conv.left && conv.precision < 0;
  if (!conv.left && !zero_pad) out.Repeat(' ', pad);
  for (int i = 0; i < prefix_length; ++i) out.Put(prefix[i]);
  if (zero_pad) out.Repeat('0', pad);
  out.Repeat('0', zeros);
  for (int i = 0; i < digit_count; ++i) out.Put(digits[i]);
  if (conv.left) out.Repeat(' ', pad);
}

void PutInteger(Output &out, Conversion conv, uintmax_t value, bool negative, unsigned base, bool upper, bool is_signed,
                char conversion) {
  char digits[sizeof(uintmax_t) * 3 + 2];
  int count = 0;
  const char *set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  // A precision of 0 prints no digits for the value 0.
  if (!(value == 0 && conv.precision == 0)) {
    char reversed[sizeof digits];
    int n = 0;
    do {
      reversed[n++] = set[value % base];
      value /= base;
    } while (value);
    while (n) digits[count++] = reversed[--n];
  }
  const char *prefix = "";
  if (is_signed) prefix = negative ? "-" : conv.plus ? "+" : conv.space ? " " : "";
  if (conv.alternate && base == 16 && count && !(count == 1 && digits[0] == '0')) prefix = upper ? "0X" : "0x";
  if (conversion == 'p') prefix = "0x";
  if (conv.alternate && base == 8 && (count == 0 || digits[0] != '0')) {
    if (conv.precision <= count) conv.precision = count + 1;
  }
  PutField(out, conv, prefix, digits, count);
}

uintmax_t TakeUnsigned(va_list &args, Length length) {
  switch (length) {
    case Length::kChar:
      return static_cast<unsigned char>(va_arg(args, unsigned));
    case Length::kShort:
      return static_cast<unsigned short>(va_arg(args, unsigned));
    case Length::kLong:
      return va_arg(args, unsigned long);
    case Length::kLongLong:
      return va_arg(args, unsigned long long);
    case Length::kMax:  // NOLINT(bugprone-branch-clone): uintmax_t and size_t are one type on some targets only
      return va_arg(args, uintmax_t);
    case Length::kSize:
      return va_arg(args, size_t);
    case Length::kPtrdiff:
      return static_cast<uintmax_t>(va_arg(args, ptrdiff_t));
    case Length::kDefault:
      break;
  }
  return va_arg(args, unsigned);
}

intmax_t TakeSigned(va_list &args, Length length) {
  switch (length) {
    case Length::kChar:
      return static_cast<signed char>(va_arg(args, int));
    case Length::kShort:
      return static_cast<short>(va_arg(args, int));
    case Length::kLong:
      return va_arg(args, long);
    case Length::kLongLong:
      return va_arg(args, long long);
    case Length::kMax:
      return va_arg(args, intmax_t);
    case Length::kSize:
      return static_cast<intmax_t>(va_arg(args, size_t));
    case Length::kPtrdiff:
      return va_arg(args, ptrdiff_t);
    case Length::kDefault:
      break;
  }
  return va_arg(args, int);
}

}  // namespace

int FormatV(char *buffer, size_t size, const char *format, va_list incoming) {
  Output out(buffer, size);
  va_list args;
  va_copy(args, incoming);
  for (const char *p = format; *p; ++p) {
    if (*p != '%') {
      out.Put(*p);
      continue;
    }
    const char *start = p++;
    Conversion conv;
    for (;; ++p) {
      if (*p == '-') conv.left = true;
      else if (*p == '0') conv.zero = true;
      else if (*p == '+') conv.plus = true;
      else if (*p == ' ') conv.space = true;
      else if (*p == '#') conv.alternate = true;
      else break;
    }
    if (*p == '*') {
      conv.width = va_arg(args, int);
      if (conv.width < 0) {
        conv.left = true;
        conv.width = -conv.width;
      }
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') conv.width = conv.width * 10 + (*p++ - '0');
    }
    if (*p == '.') {
      ++p;
      conv.precision = 0;
      if (*p == '*') {
        conv.precision = va_arg(args, int);
        if (conv.precision < 0) conv.precision = -1;
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') conv.precision = conv.precision * 10 + (*p++ - '0');
      }
    }
    Length length = Length::kDefault;
    if (p[0] == 'h' && p[1] == 'h') length = Length::kChar, p += 2;
    else if (p[0] == 'h') length = Length::kShort, ++p;
    else if (p[0] == 'l' && p[1] == 'l') length = Length::kLongLong, p += 2;
    else if (p[0] == 'l') length = Length::kLong, ++p;
    else if (p[0] == 'j') length = Length::kMax, ++p;
    else if (p[0] == 'z') length = Length::kSize, ++p;
    else if (p[0] == 't') length = Length::kPtrdiff, ++p;

    switch (*p) {
      case 'd':
      case 'i': {
        const intmax_t v = TakeSigned(args, length);
        // cppcheck-suppress redundantAssignment ; a cppcheck 2.10 misreading: nothing is assigned twice
        const uintmax_t magnitude = v < 0 ? uintmax_t{0} - static_cast<uintmax_t>(v) : static_cast<uintmax_t>(v);
        PutInteger(out, conv, magnitude, v < 0, 10, false, true, *p);
        break;
      }
      case 'u':
        PutInteger(out, conv, TakeUnsigned(args, length), false, 10, false, false, *p);
        break;
      case 'x':
      case 'X':
        PutInteger(out, conv, TakeUnsigned(args, length), false, 16, *p == 'X', false, *p);
        break;
      case 'o':
        PutInteger(out, conv, TakeUnsigned(args, length), false, 8, false, false, *p);
        break;
      case 'p':
        conv.alternate = false;
        PutInteger(out, conv, reinterpret_cast<uintptr_t>(va_arg(args, void *)), false, 16, false, false, *p);
        break;
      case 'c': {
        const char c = static_cast<char>(va_arg(args, int));
        conv.precision = -1;
        conv.zero = false;
        PutField(out, conv, "", &c, 1);
        break;
      }
      case 's': {
        const char *s = va_arg(args, const char *);
        if (!s) s = "(null)";
        int n = 0;
        while (s[n] && (conv.precision < 0 || n < conv.precision)) ++n;
        conv.precision = -1;
        conv.zero = false;
        PutField(out, conv, "", s, n);
        break;
      }
      case '%':
        out.Put('%');
        break;
      default:
        // Not a conversion this formatter knows (or the format ends): the text is copied as it stands.
        for (const char *q = start; q <= p && *q; ++q) out.Put(*q);
        if (!*p) --p;
        break;
    }
  }
  va_end(args);
  return out.Finish();
}

int Format(char *out, size_t size, const char *format, ...) {
  va_list args;
  va_start(args, format);
  const int n = FormatV(out, size, format, args);
  va_end(args);
  return n;
}

}  // namespace kvwin
