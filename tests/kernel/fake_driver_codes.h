// The control codes that the tests' fake driver answers (device type FILE_DEVICE_UNKNOWN, METHOD_BUFFERED).
#pragma once
#include <cstdint>

constexpr uint32_t kFakeComplete = 0x222000;    // function 0x800: completes as FakeCompletion says
constexpr uint32_t kFakeEcho = 0x222004;        // function 0x801: echoes the input
constexpr uint32_t kFakeNeedsRead = 0x226008;   // function 0x802 with FILE_READ_ACCESS

struct FakeCompletion {
  int32_t status;
  uint32_t information;
};
