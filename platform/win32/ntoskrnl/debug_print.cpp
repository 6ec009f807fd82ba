// DbgPrintEx: the kernel's debug output, filtered as Windows' default filter does (error level only), goes
// to the platform's diagnostics on standard error.
#include <cstdarg>
#include <cstdio>
#include <string>

#include <ddk/ntddk.h>

#include "kvplat/diag.h"

extern "C" ULONG DbgPrintEx(ULONG /*componentId*/, ULONG level, PCSTR format, ...) {
  // A level up to 31 is a bit number, a larger one a mask of them; bit 0 is DPFLTR_ERROR_LEVEL.
  const bool shown = level == DPFLTR_ERROR_LEVEL || (level > 31 && (level & 1) != 0);
  if (!shown || format == nullptr) return STATUS_SUCCESS;
  va_list args;
  va_start(args, format);
  va_list counting;
  va_copy(counting, args);
  const int length = std::vsnprintf(nullptr, 0, format, counting);
  va_end(counting);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  kvplat::Diag("%s", text.c_str());
  return STATUS_SUCCESS;
}
