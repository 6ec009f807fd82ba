// What the C++ code of the driver needs from a runtime, in kernel mode: the heap over the kernel's pool,
// the string formatter, the library's failure hooks, and the few C library routines and exception members
// that the JSON reader of machine files uses. The driver is built without exceptions and RTTI; the standard
// library's containers are used only from passive (or APC) level, so the pool is paged.
//
// A failure that the library would throw for (no memory, a broken length check) cannot be handed back to
// a caller without exceptions: it stops the machine with bug check KELVORANT_BUG_CHECK and a parameter
// that says which. The driver allocates at start-up (the demo machine) and not on the HAL machine's
// request path.
#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "kernel_format.h"
#include "wdk.h"

namespace {

constexpr ULONG kPoolTag = 0x766C654B;  // "Kelv" in a pool dump (the bytes in memory order)
constexpr ULONG KELVORANT_BUG_CHECK = 0x4B454C56;  // "KELV"
enum BugCheckReason : ULONG_PTR { kOutOfMemory = 1, kLibraryCheck = 2, kPureVirtualCall = 3 };

[[noreturn]] void Stop(BugCheckReason reason, const char *what) {
  DbgPrintEx(DPFLTR_IHVDRIVER_ID, DPFLTR_ERROR_LEVEL, "KELVORANT.sys: cannot continue: %s\n", what ? what : "");
  KeBugCheckEx(KELVORANT_BUG_CHECK, reason, 0, 0, 0);
  for (;;) {
  }
}

void *Allocate(size_t size) {
  void *p = ExAllocatePoolWithTag(PagedPool, size ? size : 1, kPoolTag);
  if (!p) Stop(kOutOfMemory, "out of pool memory");
  return p;
}

void Free(void *p) {
  if (p) ExFreePoolWithTag(p, kPoolTag);
}

}  // namespace

void *operator new(size_t size) { return Allocate(size); }
void *operator new[](size_t size) { return Allocate(size); }
void *operator new(size_t size, const std::nothrow_t &) noexcept {
  return size ? ExAllocatePoolWithTag(PagedPool, size, kPoolTag) : ExAllocatePoolWithTag(PagedPool, 1, kPoolTag);
}
void operator delete(void *p) noexcept { Free(p); }
void operator delete[](void *p) noexcept { Free(p); }
void operator delete(void *p, size_t) noexcept { Free(p); }
void operator delete[](void *p, size_t) noexcept { Free(p); }

// The library's own failure paths (normally throwing).
namespace std {
void __throw_bad_alloc() { Stop(kOutOfMemory, "bad_alloc"); }
void __throw_bad_function_call() { Stop(kLibraryCheck, "bad_function_call"); }
void __throw_length_error(const char *what) { Stop(kLibraryCheck, what); }
void __throw_logic_error(const char *what) { Stop(kLibraryCheck, what); }
void __throw_out_of_range(const char *what) { Stop(kLibraryCheck, what); }
void __throw_out_of_range_fmt(const char *what, ...) { Stop(kLibraryCheck, what); }
void __throw_invalid_argument(const char *what) { Stop(kLibraryCheck, what); }

void __throw_bad_array_new_length() { Stop(kLibraryCheck, "bad_array_new_length"); }
}  // namespace std

extern "C" void __cxa_pure_virtual() { Stop(kPureVirtualCall, "pure virtual call"); }
// What the JSON reader would throw, were exceptions not off.
extern "C" void abort() { Stop(kLibraryCheck, "abort"); }

// The JSON reader's exceptions carry their text in a std::runtime_error, which is a reported parse error's
// message here (nothing is thrown). Its members are libstdc++'s: here the text is a copy in pool memory,
// kept in the bytes of the library's own string member.
namespace std {
exception::~exception() noexcept {}
const char *exception::what() const noexcept { return "exception"; }
__cow_string::__cow_string() : _M_p(nullptr) {}
__cow_string::__cow_string(const char *text, size_t length) {
  char *copy = static_cast<char *>(Allocate(length + 1));
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  _M_p = copy;
}
__cow_string::~__cow_string() { Free(const_cast<char *>(_M_p)); }
runtime_error::runtime_error(const char *what) : _M_msg(what, std::strlen(what)) {}
runtime_error::~runtime_error() noexcept {}
const char *runtime_error::what() const noexcept { return _M_msg._M_p; }
}  // namespace std

// The library's string class is otherwise instantiated in libstdc++, which a driver cannot link.
template class std::basic_string<char>;

// mingw-w64's <stdio.h> sends snprintf and its kin here.
extern "C" int __mingw_vsnprintf(char *out, size_t size, const char *format, va_list args) {
  return kvwin::FormatV(out, size, format, args);
}

// The C library's number conversions as the JSON reader calls them: base 10, errno ERANGE for a value
// out of range. mingw-w64's headers import errno and localeconv from the C runtime DLL, which a driver
// has not: the import slots point here. errno is one for the driver, whose requests come one at a time.
namespace {

int g_errno = 0;
int *DriverErrno() { return &g_errno; }

lconv *DriverLocaleconv() {
  static char point[] = ".";
  static lconv conventions = {};
  conventions.decimal_point = point;
  return &conventions;
}

// Digits of base 10 from *p on, into *value; false (with the value at its largest) on overflow.
bool ParseDigits(const char **p, unsigned long long *value) {
  bool fits = true;
  for (*value = 0; **p >= '0' && **p <= '9'; ++*p) {
    const unsigned digit = static_cast<unsigned>(**p - '0');
    if (*value > (ULLONG_MAX - digit) / 10) fits = false;
    *value = fits ? *value * 10 + digit : ULLONG_MAX;
  }
  return fits;
}

}  // namespace

extern "C" {
int *(*__imp__errno)() = DriverErrno;
lconv *(*__imp_localeconv)() = DriverLocaleconv;
}

extern "C" unsigned long long strtoull(const char *text, char **end, int /*base 10*/) {
  const char *p = text;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  unsigned long long value = 0;
  if (!ParseDigits(&p, &value)) g_errno = ERANGE;
  if (end) *end = const_cast<char *>(p);
  return negative ? 0 - value : value;
}

extern "C" long long strtoll(const char *text, char **end, int /*base 10*/) {
  const char *p = text;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  unsigned long long value = 0;
  const bool fits = ParseDigits(&p, &value);
  if (end) *end = const_cast<char *>(p);
  const unsigned long long limit = negative ? 0ULL - static_cast<unsigned long long>(LLONG_MIN) : LLONG_MAX;
  if (!fits || value > limit) {
    g_errno = ERANGE;
    return negative ? LLONG_MIN : LLONG_MAX;
  }
  return negative ? static_cast<long long>(0 - value) : static_cast<long long>(value);
}

// A number as JSON writes it (the reader has checked its form): digits, a fraction, an exponent. Close to
// the nearest double, not always the nearest: a machine file's numbers are integers, and a fraction is
// refused anyway. What must hold is that a number too large for a double is infinite. In doubles only
// (SSE, which x64 kernel code may use), never the x87's long double.
extern "C" double __mingw_strtod(const char *text, char **end) {
  const char *p = text;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  double mantissa = 0;
  long exponent = 0;
  for (; *p >= '0' && *p <= '9'; ++p) mantissa = mantissa * 10 + (*p - '0');
  if (*p == '.') {
    for (++p; *p >= '0' && *p <= '9'; ++p, --exponent) mantissa = mantissa * 10 + (*p - '0');
  }
  if (*p == 'e' || *p == 'E') {
    const char *q = p + 1;
    const bool down = *q == '-';
    if (*q == '-' || *q == '+') ++q;
    long power = 0;
    for (; *q >= '0' && *q <= '9'; ++q) power = power < 100000 ? power * 10 + (*q - '0') : power;
    if (q[-1] >= '0' && q[-1] <= '9') {
      exponent += down ? -power : power;
      p = q;
    }
  }
  if (end) *end = const_cast<char *>(p);
  double value = mantissa;
  for (; exponent > 0 && value != HUGE_VAL; --exponent) value *= 10;
  for (; exponent < 0 && value != 0; ++exponent) value /= 10;
  if (value == HUGE_VAL) g_errno = ERANGE;
  return negative ? -value : value;
}
