// The driver's own formatter against the C library's: same text, same length, same truncation.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "kernel_format.h"

namespace {

#pragma GCC diagnostic ignored "-Wformat-truncation"

// Formats without the compiler's format check, for formats that are wrong on purpose.
int Unchecked(char *out, size_t size, const char *format, ...) {
  va_list args;
  va_start(args, format);
  const int n = kvwin::FormatV(out, size, format, args);
  va_end(args);
  return n;
}

// Formats with both into buffers of several sizes (including none and one byte) and compares.
#define EXPECT_SAME_FORMAT(...)                                                                    \
  do {                                                                                             \
    for (size_t size : {size_t{0}, size_t{1}, size_t{4}, size_t{9}, size_t{128}}) {                 \
      char ours[128], libc[128];                                                                   \
      std::memset(ours, '#', sizeof ours);                                                         \
      std::memset(libc, '#', sizeof libc);                                                         \
      const int n_ours = kvwin::Format(size ? ours : nullptr, size, __VA_ARGS__);                  \
      const int n_libc = std::snprintf(size ? libc : nullptr, size, __VA_ARGS__);                  \
      EXPECT_EQ(n_ours, n_libc) << #__VA_ARGS__ << " size " << size;                               \
      EXPECT_EQ(std::string(ours, size), std::string(libc, size)) << #__VA_ARGS__ << " size " << size; \
    }                                                                                              \
  } while (0)

TEST(KernelFormat, IntegersAsTheCoreWritesThem) {
  EXPECT_SAME_FORMAT("%04x:%02x:%02x.%x", 1u, 0x1fu, 3u, 7u);
  EXPECT_SAME_FORMAT("%02x:%02x.%x", 0x300u, 2u, 1u);
  EXPECT_SAME_FORMAT("0x%08x", 0x222400u);
  EXPECT_SAME_FORMAT(" status=%u returned=%lu", 1u, 272ul);
  EXPECT_SAME_FORMAT(" error=%u", 31u);
  EXPECT_SAME_FORMAT("poke: %zu bytes at 0x%x pass the end of the %zu-byte image of %s", size_t{3}, 0xffu,
                     size_t{256}, "00:1f.3");
}

TEST(KernelFormat, WidthsPrecisionsAndLengths) {
  EXPECT_SAME_FORMAT("%d|%d|%d|%5d|%05d|%05d", 0, -1, INT32_MIN, 42, 42, -42);
  EXPECT_SAME_FORMAT("%.3d|%8.3d|%8.3x|%.0d|%.0x|%.4X", 5, -5, 0xau, 0, 0u, 0xabu);
  EXPECT_SAME_FORMAT("%X|%x|%02llx|0x%llx", 0xDEADBEEFu, 0xDEADBEEFu, 0x1fULL, ~0ULL);
  EXPECT_SAME_FORMAT("%ld|%lu|%lld|%llu|%zu|%zx", -1L, ~0UL, LLONG_MIN, ~0ULL, SIZE_MAX, size_t{0xabc});
}

TEST(KernelFormat, CharactersStringsAndPercent) {
  EXPECT_SAME_FORMAT("%c%c|%3c|%s|%8s|%.2s|%8.2s|%s", 'o', 'k', 'x', "abc", "abc", "abc", "abc", "");
  EXPECT_SAME_FORMAT("100%% %s", "done");
}

TEST(KernelFormat, UnknownConversionsAreCopiedAsTheyStand) {
  char out[64];
  EXPECT_EQ(Unchecked(out, sizeof out, "a%fb%qc%hd%p"), 12);
  EXPECT_STREQ(out, "a%fb%qc%hd%p");
  EXPECT_EQ(Unchecked(out, sizeof out, "end%"), 4);
  EXPECT_STREQ(out, "end%");
  EXPECT_EQ(Unchecked(out, sizeof out, "end%-0"), 6);
  EXPECT_STREQ(out, "end%-0");
}

}  // namespace
