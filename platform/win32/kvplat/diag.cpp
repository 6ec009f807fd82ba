#include "kvplat/diag.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace kvplat {

namespace {
UnimplementedHandler g_unimplementedHandler = nullptr;
std::set<std::string> g_failedOutputs;  // the paths already reported
}

void Diag(const char *format, ...) {
  std::string line = "kelvorant: ";
  va_list args;
  va_start(args, format);
  char buffer[1024];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  line += buffer;
  line += '\n';
  std::fputs(line.c_str(), stderr);
}

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
