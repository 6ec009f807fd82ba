// How a run of the platform ends: the exit statuses of its own, and the end of a run that cannot go on (an
// input that is one of the run's outputs, no memory left), which leaves nothing behind.
#pragma once
#include <string>

namespace kvplat {

// The program's entry point returns 0 on both of its paths; these are the platform's.
constexpr int kExitPlatformFailure = 2;  // the platform cannot start: a bad variable or file, no display
constexpr int kExitScriptError = 3;      // an action of the automation script could not be done
constexpr int kExitOutputFailure = 4;    // the JSON dump or the trace could not be written

// Ends the process at once with `status`, after the caller has said why: standard output is flushed, the
// service records that this process created or started are removed (their drivers live in this process),
// and no output is written further (the JSON dump keeps what it held). No destructor runs.
[[noreturn]] void EndRunNow(int status);

// Gives back the memory held for a run whose memory ran out: first thing, before anything allocates.
void ReleaseMemoryReserve();

// What the process was doing when memory ran out, naming the file a driver was reading when it was:
// "while KELVORANT.sys started, reading /d/m.json".
std::string WhatRanOutOfMemory();

}  // namespace kvplat
