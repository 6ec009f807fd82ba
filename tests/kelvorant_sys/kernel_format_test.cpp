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

TEST(KernelFormat, SignsWidthsAndPrecisions) {
  EXPECT_SAME_FORMAT("%d|%i|%d", 0, -1, INT32_MIN);
  EXPECT_SAME_FORMAT("%5d|%-5d|%05d|%+d|% d", 42, 42, -42, 7, 7);
  EXPECT_SAME_FORMAT("%.3d|%8.3d|%-8.3x|%.0d|%.0x", 5, -5, 0xau, 0, 0u);
  EXPECT_SAME_FORMAT("%*d|%-*d|%.*d", 6, 1, 6, 2, 4, 3);
  EXPECT_SAME_FORMAT("%*d", -6, 9);
  EXPECT_SAME_FORMAT("%#x|%#X|%#o|%#x|%o", 255u, 255u, 8u, 0u, 0u);
  EXPECT_SAME_FORMAT("%X|%x", 0xDEADBEEFu, 0xDEADBEEFu);
}

TEST(KernelFormat, LengthModifiers) {
  EXPECT_SAME_FORMAT("%hhu|%hhd|%hu|%hd", 0x1ffu, 0xff, 0x1ffffu, 0xffff);
  EXPECT_SAME_FORMAT("%ld|%lu|%lld|%llu", -1L, ~0UL, LLONG_MIN, ~0ULL);
  EXPECT_SAME_FORMAT("%jd|%zu|%zx|%td", INTMAX_MAX, SIZE_MAX, size_t{0xabc}, ptrdiff_t{-9});
}

TEST(KernelFormat, CharactersStringsAndPercent) {
  EXPECT_SAME_FORMAT("%c%c|%3c|%-3c|", 'o', 'k', 'x', 'y');
  EXPECT_SAME_FORMAT("%s|%8s|%-8s|%.2s|%8.2s", "abc", "abc", "abc", "abc", "abc");
  EXPECT_SAME_FORMAT("100%% %s", "done");
  EXPECT_SAME_FORMAT("%s", "");
}

TEST(KernelFormat, PointersInHex) {
  char ours[64];
  kvwin::Format(ours, sizeof ours, "%p", reinterpret_cast<void *>(0x1234));
  EXPECT_STREQ(ours, "0x1234");
}

TEST(KernelFormat, UnknownConversionsAreCopiedAsTheyStand) {
  char out[64];
  EXPECT_EQ(Unchecked(out, sizeof out, "a%fb%qc"), 7);
  EXPECT_STREQ(out, "a%fb%qc");
  EXPECT_EQ(Unchecked(out, sizeof out, "end%"), 4);
  EXPECT_STREQ(out, "end%");
  EXPECT_EQ(Unchecked(out, sizeof out, "end%-0"), 6);
  EXPECT_STREQ(out, "end%-0");
}

}  // namespace
