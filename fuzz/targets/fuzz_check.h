// A property that must hold for every input. When one fails the target says which and aborts, so that
// libFuzzer keeps the input as a finding and the replay of a kept input fails its test.
#pragma once
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                     \
  do {                                                                                            \
    if (!(condition)) {                                                                           \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);      \
      std::abort();                                                                               \
    }                                                                                             \
  } while (0)
