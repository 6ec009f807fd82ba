// The kernel's trace session: the lines drivers hand to TraceMessage, appended to the run's trace file.
#include <unistd.h>

#include <cerrno>
#include <string>

#include "host/host_files.h"
#include "kernel_state.h"
#include "kvplat/diag.h"

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

}  // namespace

void SetTraceFile(int fd, const std::string &path) {
  TraceSession &session = Session();
  session.fd = fd;
  session.path = path;
}

void KernelTraceMessage(const char *line) {
  TraceSession &session = Session();
  if (session.fd < 0 || line == nullptr) return;
  const std::string text = std::string(line) + "\n";
  if (!kvhost::WriteAll(session.fd, text)) {
    ReportOutputFailure("the trace", session.path.c_str(), errno);
    session.fd = -1;  // the file stays open for its owner to close; nothing more goes to it
  }
}

}  // namespace kvplat
