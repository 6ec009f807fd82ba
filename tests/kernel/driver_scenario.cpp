// Runs the program's driver start-up and shut-down functions in the order named on the command line and
// writes what each returned to standard output, after the program's own lines ("= ..." lines are ours):
//   open           OpenDriverDevice() into a MAX_PATH buffer that is followed by an unmapped page
//   install=PATH   ManageDriver("KELVORANT", PATH, DRIVER_FUNC_INSTALL)
//   fail-open=N    the next CreateFileA of a device fails with error N
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DriverControl.h"
#include "DriverInterface.h"

namespace {
DWORD g_failNextDeviceOpen = 0;

// Writing one byte past the MAX_PATH characters faults, in every build.
char *GuardedPathBuffer() {
  const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  auto *base = static_cast<char *>(
      ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  if (base == MAP_FAILED || ::mprotect(base + page, page, PROT_NONE) != 0) std::abort();
  return base + page - MAX_PATH;
}

// cppcheck-suppress constParameter ; HANDLE is the SDK's handle type
const char *HandleState(HANDLE handle) {
  if (handle == 0) return "0";
  if (handle == INVALID_HANDLE_VALUE) return "INVALID_HANDLE_VALUE";
  return "open";
}
}  // namespace

// The program's CreateFileA calls come here (linked with --wrap=CreateFileA).
extern "C" HANDLE __real_CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
extern "C" HANDLE __wrap_CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                     DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (g_failNextDeviceOpen != 0 && std::strncmp(name, "\\\\.\\", 4) == 0) {
    SetLastError(g_failNextDeviceOpen);
    g_failNextDeviceOpen = 0;
    return INVALID_HANDLE_VALUE;
  }
  return __real_CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string step = argv[i];
    if (step == "open") {
      char *path = GuardedPathBuffer();
      int result = OpenDriverDevice(path);
      printf("= OpenDriverDevice %d g_hDevice=%s path=%s\n", result, HandleState(g_hDevice), path);
    } else if (step.rfind("install=", 0) == 0) {
      BOOL result = ManageDriver(DRIVER_SERVICE_NAME, step.c_str() + 8, DRIVER_FUNC_INSTALL);
      printf("= ManageDriver %d\n", result);
    } else if (step.rfind("fail-open=", 0) == 0) {
      g_failNextDeviceOpen = static_cast<DWORD>(std::atoi(step.c_str() + 10));
    } else {
      std::fprintf(stderr, "unknown step %s\n", step.c_str());
      return 2;
    }
  }
  return 0;
}
