// Where the platform's diagnostic lines go: standard error. A file of its own, so that a test program that
// looks at every line links its own routine in place of this one (tests/support/diag_lines.h).
#include <cstdio>

#include "kvplat/diag.h"

void kvplat::WriteDiagLine(std::string_view line) { std::fwrite(line.data(), 1, line.size(), stderr); }
