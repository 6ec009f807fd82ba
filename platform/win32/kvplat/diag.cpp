#include "kvplat/diag.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>

#include "host/termination.h"

namespace kvplat {

namespace {

std::set<std::string> g_failedOutputs;  // the paths already reported
bool g_saidSignal = false;              // the termination signal's line has been written

// The lead bytes of well-formed UTF-8 (RFC 3629), each with its sequence's length and the range of the byte
// after it; the bytes after that are 80..BF. The narrowed ranges leave out overlong forms, surrogates and
// code points above U+10FFFF.
struct Lead {
  uint8_t first, last;
  size_t length;
  uint8_t low, high;
};
constexpr Lead kLeads[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

}  // namespace

size_t Utf8SequenceLength(std::string_view text, uint32_t *codePoint) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  for (const Lead &lead : kLeads) {
    if (byte(0) < lead.first || byte(0) > lead.last) continue;
    if (text.size() < lead.length || byte(1) < lead.low || byte(1) > lead.high) return 0;
    uint32_t value = byte(0) & (0x7F >> lead.length);
    for (size_t i = 1; i < lead.length; ++i) {
      if ((byte(i) & 0xC0) != 0x80) return 0;
      value = value << 6 | (byte(i) & 0x3F);
    }
    *codePoint = value;
    return lead.length;
  }
  return 0;
}

bool IsUtf8(std::string_view text) {
  uint32_t code = 0;
  for (size_t at = 0, length = 0; at < text.size(); at += length) {
    length = static_cast<uint8_t>(text[at]) < 0x80 ? 1 : Utf8SequenceLength(text.substr(at), &code);
    if (length == 0) return false;
  }
  return true;
}

std::string EscapeForTerminal(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      out += text[i++];
      continue;
    }
    uint32_t codePoint = 0;
    const size_t length = byte >= 0x80 ? Utf8SequenceLength(text.substr(i), &codePoint) : 0;
    const bool printable = length > 0 && codePoint > 0x9F;
    for (size_t n = 0; n < (length > 0 ? length : 1); ++n, ++i) {
      const auto c = static_cast<uint8_t>(text[i]);
      if (printable) out += text[i];
      else out += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
    }
  }
  return out;
}

void Diag(const char *format, ...) {
  va_list args;
  va_start(args, format);
  char buffer[kDiagLineBytes];
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  const size_t written = length < 0 ? 0 : std::min(static_cast<size_t>(length), sizeof buffer - 1);
  const std::string line = "kelvorant: " + EscapeForTerminal(std::string_view(buffer, written)) + "\n";
  WriteDiagLine(line);
}

void ReportOutputFailure(const char *what, const char *path, int error) {
  if (!g_failedOutputs.insert(path).second) return;
  Diag("cannot write %s %s: %s", what, path, std::strerror(error));
}

bool OutputFailed() { return !g_failedOutputs.empty(); }

void ReportUnimplemented(const char *what) { Diag("not implemented: %s", what); }

bool CatchTerminationSignals() {
  if (kvhost::CatchTerminationSignals()) return true;
  Diag("cannot catch SIGTERM, SIGINT and SIGHUP: %s", std::strerror(errno));
  return false;
}

bool TerminationRequested() {
  const int signal = kvhost::TerminationSignal();
  if (signal == 0) return false;
  if (!g_saidSignal) Diag("%s: the dialog closes as by its close box", kvhost::TerminationSignalName(signal));
  g_saidSignal = true;
  return true;
}

void EndByTerminationSignal() {
  const int signal = kvhost::TerminationSignal();
  if (signal == 0) return;
  // It came while the program was shutting down, or when no dialog was shown: nothing was closed for it.
  if (!g_saidSignal) Diag("%s: the program ends by it after its own shut-down", kvhost::TerminationSignalName(signal));
  std::fflush(stdout);
  kvhost::RaiseWithDefaultAction(signal);
}

}  // namespace kvplat
