// How much the platform reads from the files a run is given. Every reader stops at its bound with a message,
// so that no file, however long or endless, makes kelvorant grow without limit. The driver's bounds for the
// machine's files are its own (kelvorant_sys/core/read_limits.h).
#pragma once
#include <cstddef>
#include <cstdint>

namespace kvhost {

// An automation script: some 50,000 actions.
constexpr uint64_t kMaxScriptBytes = uint64_t{1} << 20;

// A record of the service database.
constexpr uint64_t kMaxServiceRecordBytes = uint64_t{64} * 1024;

}  // namespace kvhost
