// The driver's request trace: a line (core/device_control.h) for each request from user mode, appended to the
// file that the service key's value Trace names; without the value there is none. A trace is a debugging
// aid, not the device's work: when a write fails, the trace ends there, with a warning in the kernel's debug
// output, and the requests go on being served.
#pragma once
#include <cstdint>
#include <string>

#include "core/device_control.h"
#include "wdk.h"

namespace kvsys {

class RequestTrace {
 public:
  RequestTrace() = default;
  ~RequestTrace();
  RequestTrace(const RequestTrace &) = delete;
  RequestTrace &operator=(const RequestTrace &) = delete;

  // Opens the file that the value Trace of the key at `registry_path` names, when it has one. False with the
  // reason in *why when the file cannot be opened.
  bool Open(PUNICODE_STRING registry_path, std::string *why);

  // Whether requests are traced: only then is a request's address taken from its input.
  bool on() const { return file_ != nullptr; }

  // Appends the line of one request; `address` was taken from its input before it was served.
  void Write(uint32_t code, const InputAddress &address, uint32_t domain, const RequestOutcome &outcome);

 private:
  void Close();

  HANDLE file_ = nullptr;
  std::string path_;
};

}  // namespace kvsys
