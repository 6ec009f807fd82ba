// How much the platform and its driver read from the files a run is given. Every reader stops at its bound
// with a message, so that no file, however long or endless, makes kelvorant grow without limit.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kvhost {

// A line of an lspci dump or an automation script. The longest line lspci writes is a few hundred bytes; a
// script's longest action, a `machine poke` of 4096 bytes, is about 12 KiB.
constexpr size_t kMaxLineBytes = size_t{64} * 1024;

// An lspci dump. `lspci -xxxx -vvv` of all 65,536 functions of a domain, each with 4096 bytes, is 0.9 to
// 1.3 GB (about 13.6 KB a function), well inside.
constexpr uint64_t kMaxDumpBytes = uint64_t{4} << 30;

// A JSON machine file, read whole before it is parsed. A machine of many functions belongs in a dump that
// the file names.
constexpr uint64_t kMaxMachineFileBytes = uint64_t{64} << 20;

// An automation script: some 50,000 actions.
constexpr uint64_t kMaxScriptBytes = uint64_t{1} << 20;

// A record of the service database.
constexpr uint64_t kMaxServiceRecordBytes = uint64_t{64} * 1024;

}  // namespace kvhost
