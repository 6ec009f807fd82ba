// The signals that ask a run to end (SIGTERM, SIGINT, SIGHUP). Their default action would kill the process
// wherever it is: between two register writes of a restore, or before the program has stopped and removed
// its driver's service. So a handler only records the signal and wakes whoever waits (a self-pipe); the
// front ends look for it between their actions and close the dialog as its close box does, and the process
// ends by the signal once the program's own shut-down has run.
#pragma once

namespace kvhost {

// Catches SIGTERM, SIGINT and SIGHUP (with SA_RESTART, so that a system call is never cut by them); one
// that was ignored when the process started stays ignored, as nohup wants it. SIGPIPE and SIGXFSZ are
// ignored: a write to a reader that has gone, or past the file size limit, fails (EPIPE, EFBIG) and is
// reported. False, with errno set, when the wake-up pipe cannot be made.
bool CatchTerminationSignals();

// The first of those signals that has come, 0 while none has.
int TerminationSignal();

// A descriptor that becomes readable when one has come, and stays so: a loop that waits for input can wait
// for it too (poll, Fl::add_fd). -1 before CatchTerminationSignals.
int TerminationFd();

// Waits `milliseconds`, or less when a signal comes (or has come): false then.
bool SleepUnlessSignalled(int milliseconds);

// "SIGTERM", "SIGINT", "SIGHUP".
const char *TerminationSignalName(int signal);

// Ends the process by `signal` with its default action, so that a parent sees what ended it.
[[noreturn]] void RaiseWithDefaultAction(int signal);

}  // namespace kvhost
