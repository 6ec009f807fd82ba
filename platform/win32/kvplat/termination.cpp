#include "kvplat/termination.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/termination.h"
#include "kvplat/diag.h"

namespace kvplat {

namespace {
bool g_said = false;  // the signal's line has been written
}

bool CatchTerminationSignals() {
  if (kvhost::CatchTerminationSignals()) return true;
  Diag("cannot catch SIGTERM, SIGINT and SIGHUP: %s", std::strerror(errno));
  return false;
}

bool TerminationRequested() {
  const int signal = kvhost::TerminationSignal();
  if (signal == 0) return false;
  if (!g_said) Diag("%s: the dialog closes as by its close box", kvhost::TerminationSignalName(signal));
  g_said = true;
  return true;
}

void EndByTerminationSignal() {
  const int signal = kvhost::TerminationSignal();
  if (signal == 0) return;
  // It came while the program was shutting down, or when no dialog was shown: nothing was closed for it.
  if (!g_said) Diag("%s: the program ends by it after its own shut-down", kvhost::TerminationSignalName(signal));
  std::fflush(stdout);
  kvhost::RaiseWithDefaultAction(signal);
}

}  // namespace kvplat
