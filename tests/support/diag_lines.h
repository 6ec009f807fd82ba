// The platform's diagnostic lines, for the tests that look at them. A program that links diag_lines.cpp has
// its WriteDiagLine in place of the platform's (platform/win32/kvplat/diag_line.cpp, never pulled from the
// archive then), which gives every line to the sink set here, or, without one, to standard error.
#pragma once
#include <string>

namespace kvtest {

using DiagSink = void (*)(const std::string &line);
void SetDiagSink(DiagSink sink);

}  // namespace kvtest
