// The files a run is given through its environment. Read: the automation script (KELVORANT_UI_SCRIPT), and
// by the driver the machine (KELVORANT_MACHINE, and the dump that a machine file names). Written: the JSON
// dump (KELVORANT_UI_DUMP), and by the driver the trace (KELVORANT_TRACE). A file that the run writes is
// never one of its inputs, and the two outputs are two files: the script, the machine's own file and the
// window library are compared with the outputs here, before the program starts; every later input (the dump
// a machine file names, the driver module) where it is opened, by the host's one opener, which knows the
// outputs. No output lies in the service database's folder.
#pragma once
#include <string>

#include "host/opener.h"

namespace kvplat {

struct RunFiles {
  std::string script;      // the script's text; empty without one
  kvhost::UniqueFd dump;   // the JSON dump; not valid: standard error
  std::string dumpPath;
  bool dumpKept = false;   // the dump is a descriptor the run was given (/dev/stdout): what it holds stays
  // The trace, opened for appending to be checked as every output is; not valid: no trace. The driver opens
  // it again by its name, the service value Trace (ntoskrnl/registry.cpp), and writes it; it is held for the
  // run so that a FIFO's reader does not see the end of it before the driver has opened it.
  kvhost::UniqueFd trace;
};

// Opens the run's files: the script and the JSON dump only for the headless front end. False after saying
// why on standard error: the platform cannot start.
bool OpenRunFiles(bool headless, RunFiles *files);

}  // namespace kvplat
