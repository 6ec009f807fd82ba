// The capture goes into the driver's read-only data as it is, by the assembler's .incbin, in the Windows
// build as in the Linux one; the build names the file (KV_DEMO_CAPTURE) and rebuilds this file when it
// changes.
#include "core/machine_choice.h"

#include <cstdint>

#ifndef KV_DEMO_CAPTURE
#error "the build names the demo machine's capture in KV_DEMO_CAPTURE"
#endif

#if defined(_WIN32)
#define KV_READ_ONLY_SECTION ".section .rdata,\"dr\"\n"
#define KV_LOCAL_SYMBOL(name) ""
#else
#define KV_READ_ONLY_SECTION ".section .rodata\n"
#define KV_LOCAL_SYMBOL(name) ".hidden " name "\n"
#endif

asm(KV_READ_ONLY_SECTION
    ".global kv_demo_capture_begin\n" KV_LOCAL_SYMBOL("kv_demo_capture_begin")
    "kv_demo_capture_begin:\n"
    ".incbin \"" KV_DEMO_CAPTURE "\"\n"
    ".global kv_demo_capture_end\n" KV_LOCAL_SYMBOL("kv_demo_capture_end")
    "kv_demo_capture_end:\n"
    ".text\n");

extern "C" const char kv_demo_capture_begin[];
extern "C" const char kv_demo_capture_end[];

namespace kvsys {

std::string_view DemoCapture() {
  const auto size = reinterpret_cast<uintptr_t>(kv_demo_capture_end) - reinterpret_cast<uintptr_t>(kv_demo_capture_begin);
  return {kv_demo_capture_begin, static_cast<size_t>(size)};
}

}  // namespace kvsys
