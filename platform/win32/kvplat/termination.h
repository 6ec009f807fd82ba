// What a termination signal (SIGTERM, SIGINT, SIGHUP; host/termination.h) does to a run: the front end
// closes the dialog as its close box does, so that the program stops and deletes its service as on any
// other exit, and the process then ends by the signal, as it would have without the platform.
#pragma once

namespace kvplat {

// Catches the signals for the whole run; false after a line on standard error.
bool CatchTerminationSignals();

// Whether a signal asks the dialog to close. The first call that finds one says so on standard error:
// "kelvorant: SIGTERM: the dialog closes as by its close box".
bool TerminationRequested();

// Called last, once the program has returned and the outputs are closed: when a signal came, the process
// ends by it with its default action (saying so, if no front end did). Returns when none came.
void EndByTerminationSignal();

}  // namespace kvplat
