// OutputDebugStringA: what Windows hands to a debugger goes, as the kernel's DbgPrintEx does, to the
// platform's diagnostics on standard error, one line without its line end.
#include <windows.h>

#include <string>

#include "kvplat/diag.h"

extern "C" void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  std::string text = lpOutputString ? lpOutputString : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  kvplat::Diag("%s", text.c_str());
}
