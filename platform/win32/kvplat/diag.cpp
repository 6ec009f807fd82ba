#include "kvplat/diag.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "kvplat/terminal_text.h"

namespace kvplat {

namespace {
UnimplementedHandler g_unimplementedHandler = nullptr;
DiagSink g_sink = nullptr;
std::set<std::string> g_failedOutputs;  // the paths already reported
}

void Diag(const char *format, ...) {
  va_list args;
  va_start(args, format);
  char buffer[1024];
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  // What was written, cut at the buffer's end (a quoted text may be of any length).
  const size_t written = length < 0 ? 0 : std::min(static_cast<size_t>(length), sizeof buffer - 1);
  const std::string line = "kelvorant: " + EscapeForTerminal(std::string_view(buffer, written)) + "\n";
  if (g_sink) g_sink(line);
  else std::fwrite(line.data(), 1, line.size(), stderr);
}

void SetDiagSink(DiagSink sink) { g_sink = sink; }

void ReportOutputFailure(const char *what, const char *path, int error) {
  if (!g_failedOutputs.insert(path).second) return;
  Diag("cannot write %s %s: %s", what, path, std::strerror(error));
}

bool OutputFailed() { return !g_failedOutputs.empty(); }

void ReportUnimplemented(const char *what) {
  Diag("not implemented: %s", what);
  if (g_unimplementedHandler) g_unimplementedHandler(what);
}

void SetUnimplementedHandler(UnimplementedHandler handler) { g_unimplementedHandler = handler; }

}  // namespace kvplat
