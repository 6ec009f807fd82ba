// What the C++ code of the driver needs from a runtime, in kernel mode: the heap over the kernel's pool,
// the string formatter, and the library's failure hooks. The driver is built without exceptions and RTTI;
// the standard library's containers are used only from passive (or APC) level, so the pool is paged.
//
// A failure that the library would throw for (no memory, a broken length check) cannot be handed back to
// a caller without exceptions: it stops the machine with bug check KELVORANT_BUG_CHECK and a parameter
// that says which. The driver allocates at start-up (the demo machine) and not on the HAL machine's
// request path.
#include <cstdarg>
#include <cstddef>
#include <new>
#include <string>

#include "kernel_format.h"
#include "wdk.h"

namespace {

constexpr ULONG kPoolTag = 0x766C654B;  // "Kelv" in a pool dump (the bytes in memory order)
constexpr ULONG KELVORANT_BUG_CHECK = 0x4B454C56;  // "KELV"
enum BugCheckReason : ULONG_PTR { kOutOfMemory = 1, kLibraryCheck = 2, kPureVirtualCall = 3 };

[[noreturn]] void Stop(BugCheckReason reason, const char *what) {
  DbgPrint("KELVORANT.sys: cannot continue: %s\n", what ? what : "");
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
}  // namespace std

extern "C" void __cxa_pure_virtual() { Stop(kPureVirtualCall, "pure virtual call"); }

// The library's string class is otherwise instantiated in libstdc++, which a driver cannot link.
template class std::basic_string<char>;

// mingw-w64's <stdio.h> sends snprintf and its kin here.
extern "C" int __mingw_vsnprintf(char *out, size_t size, const char *format, va_list args) {
  return kvwin::FormatV(out, size, format, args);
}
