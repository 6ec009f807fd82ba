# Initial cache of the fuzzing build (cmake -C fuzz/clang-fuzz.cmake -S . -B build-fuzz): clang, every
# library instrumented for libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets
# linked with libFuzzer's main (fuzz/CMakeLists.txt). Only `cmake --build build-fuzz --target fuzz_targets`
# is meant to be built here; the g++ builds stay as they are.
set(CMAKE_C_COMPILER clang CACHE STRING "")
set(CMAKE_CXX_COMPILER clang++ CACHE STRING "")
set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "")
set(KV_FUZZ_FLAGS "-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer")
set(CMAKE_C_FLAGS "${KV_FUZZ_FLAGS}" CACHE STRING "")
set(CMAKE_CXX_FLAGS "${KV_FUZZ_FLAGS}" CACHE STRING "")
set(KELVORANT_FUZZ ON CACHE BOOL "")
