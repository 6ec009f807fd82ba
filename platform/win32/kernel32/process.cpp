// The process id, sleeping, MulDiv, and the end of a run cut short.
#include <time.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "kvplat/run_end.h"

// nNumber * nNumerator / nDenominator with a 64-bit intermediate, rounded half away from zero (the half
// being nDenominator / 2 in integers). -1 when the denominator is 0 or the result does not fit in 32 bits,
// where -2147483648 counts as not fitting.
extern "C" int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
  if (nDenominator == 0) return -1;
  int64_t product = static_cast<int64_t>(nNumber) * nNumerator;
  int64_t denominator = nDenominator;
  if (denominator < 0) {
    denominator = -denominator;
    product = -product;
  }
  const int64_t half = denominator / 2;
  const int64_t result = product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
  if (result > 2147483647LL || result < -2147483647LL) return -1;
  return static_cast<int>(result);
}

namespace kvplat {

namespace {

// Memory held back from the start, so that a run whose memory ran out can still say so and remove its
// records: the frames that the exception left (a driver has no destructors to run) keep theirs.
constexpr size_t kReserveBytes = size_t{1} << 20;
char *g_reserve = new char[kReserveBytes];

}  // namespace

void ReleaseMemoryReserve() {
  delete[] g_reserve;
  g_reserve = nullptr;
}

void EndRunNow(int status) {
  ReleaseMemoryReserve();
  std::fflush(stdout);
  // The at_quick_exit handlers are the platform's clean-ups for a run cut short (the service manager's).
  std::quick_exit(status);
}

}  // namespace kvplat
