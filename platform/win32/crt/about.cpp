#include "about.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "kvplat/diag.h"

namespace kvplat {

namespace {

constexpr char kUsage[] = R"(Usage: kelvorant [OPTION]... [FILE[@DDDD]]
Read, save and restore the configuration space of PCI devices.

FILE is an lspci dump (lspci -xxxx) or a machine file (.json) to serve in place
of this computer's PCI functions, @DDDD its domain DDDD: nothing then touches
the hardware. A FILE is always a file: 'kelvorant demo' opens the file demo.

  -m, --machine=MACHINE  serve MACHINE: sysfs (this computer), sysfs:DIR (a
                           folder laid out like /sys/bus/pci/devices), demo
                           (a simulated laptop) or a FILE, each with an
                           optional @DDDD
  -t, --trace=FILE       append a line for each request to the driver to FILE
      --unprivileged     run with your own rights: never ask for the
                           administrator's password, and give root up for the
                           user of sudo or pkexec before opening anything
  -h, --help             display this help and exit
  -V, --version          output version information and exit

KELVORANT_NAME=VALUE arguments set the variables of kelvorant(1) as the
environment does. An option wins over its variable: FILE and --machine over
KELVORANT_MACHINE, --trace over KELVORANT_TRACE.

Started by an ordinary user with a display, the installed kelvorant asks for
the administrator's password (pkexec): without root only the first 64 bytes of
each function can be read, and writes are refused.

Exit status:
 0  the dialog was closed
 2  kelvorant could not start, or an argument is wrong
 3  an action of the automation script could not be done
 4  the JSON dump or the trace could not be written

Full documentation: man kelvorant
)";

// The product version of the VS_VERSIONINFO block ("1.0.0.1"), or "" when there is none that reads. The
// block starts with its length, its value's length and its type (three WORDs), then its key
// L"VS_VERSION_INFO" with the NUL, then the value, a VS_FIXEDFILEINFO, on the next DWORD boundary.
std::string ProductVersion() {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCE(VS_VERSION_INFO), RT_VERSION);
  if (!found) return "";
  const auto *block = static_cast<const unsigned char *>(LockResource(LoadResource(nullptr, found)));
  const size_t size = SizeofResource(nullptr, found);
  constexpr char16_t kKey[] = u"VS_VERSION_INFO";
  constexpr size_t kKeyAt = 3 * sizeof(WORD), kValueAt = (kKeyAt + sizeof kKey + 3) / 4 * 4;
  WORD valueLength = 0;
  VS_FIXEDFILEINFO fixed;
  if (!block || size < kValueAt + sizeof fixed) return "";
  std::memcpy(&valueLength, block + sizeof(WORD), sizeof valueLength);
  std::memcpy(&fixed, block + kValueAt, sizeof fixed);
  if (std::memcmp(block + kKeyAt, kKey, sizeof kKey) != 0 || valueLength < sizeof fixed ||
      fixed.dwSignature != VS_FFI_SIGNATURE)
    return "";
  char version[32];
  const unsigned parts[] = {HIWORD(fixed.dwProductVersionMS), LOWORD(fixed.dwProductVersionMS),
                            HIWORD(fixed.dwProductVersionLS), LOWORD(fixed.dwProductVersionLS)};
  std::snprintf(version, sizeof version, "%u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]);
  return version;
}

int Flushed() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
  Diag("cannot write standard output: %s", std::strerror(errno));
  return kExitOutputFailure;
}

}  // namespace

int PrintUsage() {
  std::fputs(kUsage, stdout);
  return Flushed();
}

int PrintVersion() {
  const std::string version = ProductVersion();
  if (version.empty()) {
    Diag("the program has no version resource (VS_VERSION_INFO) that reads");
    return kExitPlatformFailure;
  }
  std::printf("kelvorant %s\n", version.c_str());
  return Flushed();
}

}  // namespace kvplat
