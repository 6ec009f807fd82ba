#include "request_trace.h"

#include "kernel_files.h"
#include "service_key.h"

namespace kvsys {

namespace {
const WCHAR kTraceValue[] = L"Trace";
}

RequestTrace::~RequestTrace() { Close(); }

bool RequestTrace::Open(PUNICODE_STRING registry_path, std::string *why) {
  if (!ReadServiceString(registry_path, kTraceValue, &path_) || path_.empty()) return true;
  // FILE_APPEND_DATA alone: the kernel writes every line at the end of the file, whatever else appends to
  // it meanwhile; the file is made when it is missing.
  if (OpenKernelFile(path_, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF, &file_, why))
    return true;
  *why = "the trace " + path_ + ": " + *why;
  return false;
}

void RequestTrace::Write(uint32_t code, const InputAddress &address, uint32_t domain, const RequestOutcome &outcome) {
  if (!file_) return;
  char line[kTraceLineBytes];
  const size_t length = FormatTraceLine(line, code, address, domain, outcome);
  IO_STATUS_BLOCK io;
  const NTSTATUS status =
      ZwWriteFile(file_, nullptr, nullptr, nullptr, &io, line, static_cast<ULONG>(length), nullptr, nullptr);
  if (NT_SUCCESS(status)) return;
  DbgPrintEx(DPFLTR_IHVDRIVER_ID, DPFLTR_WARNING_LEVEL,
             "KELVORANT.sys: the trace %s cannot be written (%s): it ends here\n", path_.c_str(),
             FileErrorReason(status).c_str());
  Close();
}

void RequestTrace::Close() {
  if (file_) ZwClose(file_);
  file_ = nullptr;
}

}  // namespace kvsys
