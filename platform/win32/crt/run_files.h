// The files a run is given through its environment. Read: the automation script (KELVORANT_UI_SCRIPT) and
// the machine (KELVORANT_MACHINE, and the dump that a machine file names). Written: the JSON dump
// (KELVORANT_UI_DUMP) and the trace (KELVORANT_TRACE). They are checked together before anything is read or
// written: a file that the run writes is never one of its inputs (a JSON dump named like the machine file
// would empty it before the driver reads it), and the two outputs are two files.
#pragma once
#include <string>

#include "host/host_files.h"

namespace kvplat {

struct RunFiles {
  std::string script;      // the script's text; empty without one
  kvhost::UniqueFd dump;   // the JSON dump; not valid: standard error
  std::string dumpPath;
  kvhost::UniqueFd trace;  // the trace, opened for appending; not valid: no trace
  std::string tracePath;
};

// Opens the run's files: the script and the JSON dump only for the headless front end. False after saying
// why on standard error: the platform cannot start.
bool OpenRunFiles(bool headless, RunFiles *files);

}  // namespace kvplat
