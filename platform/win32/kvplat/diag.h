// The platform's own diagnostics and how a run ends. A diagnostic is one line on standard error, prefixed
// "kelvorant: " (standard output belongs to the program); every line the platform (and the driver, through
// DbgPrintEx) writes there goes through Diag, which escapes the controls of any text from outside it quotes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvplat {

// How much of a line the platform's diagnostics hold: two paths of PATH_MAX and the reason after them; a
// quoted text may be of any length, and what is written is cut there. Lines formatted elsewhere first (the
// kernel's debug output, FLTK's) have as much room.
constexpr size_t kDiagLineBytes = 16384;

[[gnu::format(printf, 1, 2)]] void Diag(const char *format, ...);

// Writes one of Diag's lines, whole with its line end, to standard error (diag_line.cpp).
void WriteDiagLine(std::string_view line);

// A file that the platform writes for the run (the JSON dump, the trace) could not be written: says so once
// for each file, and from then on OutputFailed() is true, so that the run ends with its own exit status.
void ReportOutputFailure(const char *what, const char *path, int error);
bool OutputFailed();

// A message that the platform does not implement was sent: says so ("not implemented: WHAT").
void ReportUnimplemented(const char *what);

// Text from outside (a file's line, a script's word, a path) as a terminal may show it: printable ASCII and
// well-formed UTF-8 of printable code points stay as they are; the C0 controls (tab and line end among
// them), DEL, the C1 controls U+0080..U+009F (which a terminal may take as ESC sequences, as CSI U+009B) and
// every byte that is not part of well-formed UTF-8 are written as \xNN, one byte each.
std::string EscapeForTerminal(std::string_view text);

// The length of the well-formed UTF-8 sequence of two to four bytes at the start of `text` (RFC 3629: no
// overlong form, surrogate or code point above U+10FFFF), with its code point in *codePoint; else 0.
size_t Utf8SequenceLength(std::string_view text, uint32_t *codePoint);

// Whether all of `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);

// The program's entry point returns 0 on both of its paths; these are the platform's.
constexpr int kExitPlatformFailure = 2;  // the platform cannot start: a bad variable or file, no display
constexpr int kExitScriptError = 3;      // an action of the automation script could not be done
constexpr int kExitOutputFailure = 4;    // the JSON dump or the trace could not be written

// Ends a run that cannot go on (an input that is one of the run's outputs, no memory left) at once with
// `status`, after the caller has said why: standard output is flushed, the service records that this
// process created or started are removed (their drivers live in this process), and no output is written
// further (the JSON dump keeps what it held). No destructor runs.
[[noreturn]] void EndRunNow(int status);

// Gives back the memory held for a run whose memory ran out: first thing, before anything allocates.
void ReleaseMemoryReserve();

// What the process was doing when memory ran out, naming the file a driver was reading when it was:
// "while KELVORANT.sys started, reading /d/m.json".
std::string WhatRanOutOfMemory();

// A termination signal (SIGTERM, SIGINT, SIGHUP; host/termination.h) makes the front end close the dialog
// as its close box does, so that the program stops and deletes its service as on any other exit; the
// process then ends by the signal, as it would have without the platform.

bool CatchTerminationSignals();  // for the whole run; false after a line on standard error

// Whether a signal asks the dialog to close. The first call that finds one says so on standard error:
// "kelvorant: SIGTERM: the dialog closes as by its close box".
bool TerminationRequested();

// Called last, once the program has returned and the outputs are closed: when a signal came, the process
// ends by it with its default action (saying so, if no front end did). Returns when none came.
void EndByTerminationSignal();

}  // namespace kvplat
