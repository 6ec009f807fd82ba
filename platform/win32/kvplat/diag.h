// The platform's own diagnostics: one line on standard error, prefixed "kelvorant: ". Standard output
// belongs to the program.
#pragma once

namespace kvplat {

[[gnu::format(printf, 1, 2)]] void Diag(const char *format, ...);

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
