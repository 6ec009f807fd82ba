// The kernel's trace session: one line for each request that DeviceIoControl sends, from its IRP, appended
// to the run's trace file:
//   IOCTL_READ_CONFIG 00:1f.3 status=1 returned=272
//   IOCTL_WRITE_EXT_CONFIG 01:00.0 error=31
// The requests are KELVORANT.sys's (kelvorant_sys/core/requests.h): the name of the control code,
// bus, device and function from the input as lspci writes them (with a "dddd:" prefix when the served domain
// is not 0000; "-" for an input too short to hold them), then the status word that the driver left in the
// system buffer and the byte count, or the Win32 error the call failed with. Any other control code is
// written in hex.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/pci_address.h"
#include "core/requests.h"
#include "host/host_files.h"
#include "kernel_state.h"
#include "kvplat/diag.h"
#include "kvplat/machine_setting.h"

namespace kvplat {

namespace {

struct TraceSession {
  int fd = -1;
  std::string path;
};

TraceSession &Session() {
  static TraceSession *session = new TraceSession;  // lines may come until the last driver is gone
  return *session;
}

uint32_t LoadU32(const unsigned char *p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

void SetTraceFile(int fd, const std::string &path) {
  TraceSession &session = Session();
  session.fd = fd;
  session.path = path;
}

void TraceRequest(DWORD ioControlCode, const unsigned char *input, DWORD inputSize, const unsigned char *systemBuffer,
                  DWORD systemSize, NTSTATUS status, ULONG_PTR information) {
  TraceSession &session = Session();
  if (session.fd < 0) return;
  const kvsys::RequestInfo *request = kvsys::FindRequestByCode(ioControlCode);
  std::string line;
  if (request) {
    line = request->name;
  } else {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(ioControlCode));
    line = code;
  }
  line += ' ';
  line += input && inputSize >= kvsys::kRequestAddressBytes
              ? kvsys::FormatBdf(ServedDomain(), LoadU32(input), LoadU32(input + 4), LoadU32(input + 8))
              : "-";
  char tail[64];
  if (NT_SUCCESS(status)) {
    const uint32_t word = request && systemSize >= request->status_at + 4 ? LoadU32(systemBuffer + request->status_at) : 0;
    std::snprintf(tail, sizeof tail, " status=%u returned=%lu", word, static_cast<unsigned long>(information));
  } else {
    std::snprintf(tail, sizeof tail, " error=%u", static_cast<unsigned>(NtStatusToDosError(status)));
  }
  line += tail;
  line += '\n';
  if (!kvhost::WriteAll(session.fd, line)) {
    ReportOutputFailure("the trace", session.path.c_str(), errno);
    session.fd = -1;  // the file stays open for its owner to close; nothing more goes to it
  }
}

}  // namespace kvplat
