// The platform's own diagnostics: one line on standard error, prefixed "kelvorant: ". Standard output
// belongs to the program.
#pragma once

namespace kvplat {

[[gnu::format(printf, 1, 2)]] void Diag(const char *format, ...);

// A message that the platform does not implement was sent: says so on standard error. Tests install a
// handler that fails the test.
using UnimplementedHandler = void (*)(const char *what);
void ReportUnimplemented(const char *what);
void SetUnimplementedHandler(UnimplementedHandler handler);

}  // namespace kvplat
