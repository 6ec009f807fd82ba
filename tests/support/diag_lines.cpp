#include "diag_lines.h"

#include <cstdio>

#include "kvplat/diag.h"

namespace {
kvtest::DiagSink g_sink = nullptr;
}  // namespace

void kvtest::SetDiagSink(DiagSink sink) { g_sink = sink; }

void kvplat::WriteDiagLine(std::string_view line) {
  if (g_sink) g_sink(std::string(line));
  else std::fwrite(line.data(), 1, line.size(), stderr);
}
