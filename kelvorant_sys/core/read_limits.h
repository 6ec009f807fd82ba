// How much the driver reads from the files a machine is built from. Every reader stops at its bound with a
// message, so that no file, however long or endless, makes the driver grow without limit. The platform
// checks a run's files against the same bounds.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kvsys {

// A line of an lspci dump. The longest line lspci writes is a few hundred bytes.
constexpr size_t kMaxLineBytes = size_t{64} * 1024;

// An lspci dump. `lspci -xxxx -vvv` of all 65,536 functions of a domain, each with 4096 bytes, is 0.9 to
// 1.3 GB (about 13.6 KB a function), well inside.
constexpr uint64_t kMaxDumpBytes = uint64_t{4} << 30;

// A JSON machine file, read whole before it is parsed. A machine of many functions belongs in a dump that
// the file names.
constexpr uint64_t kMaxMachineFileBytes = uint64_t{64} << 20;

}  // namespace kvsys
