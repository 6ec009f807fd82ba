// The platform's own diagnostics: one line on standard error, prefixed "kelvorant: ". Standard output
// belongs to the program. Every line the platform (and the driver, through DbgPrintEx) writes to standard
// error goes through Diag, which escapes the controls of any text from outside that it quotes
// (kvplat/terminal_text.h).
#pragma once
#include <string>

namespace kvplat {

[[gnu::format(printf, 1, 2)]] void Diag(const char *format, ...);

// Where Diag's lines go, whole with their line end: standard error, or a sink of a test's or a fuzz target's
// own (null: standard error again).
using DiagSink = void (*)(const std::string &line);
void SetDiagSink(DiagSink sink);

// A file that the platform writes for the run (the JSON dump, the trace) could not be written: says so once
// for each file, and from then on OutputFailed() is true, so that the run ends with its own exit status.
void ReportOutputFailure(const char *what, const char *path, int error);
bool OutputFailed();

// A message that the platform does not implement was sent: says so on standard error. Tests install a
// handler that fails the test.
using UnimplementedHandler = void (*)(const char *what);
void ReportUnimplemented(const char *what);
void SetUnimplementedHandler(UnimplementedHandler handler);

}  // namespace kvplat
