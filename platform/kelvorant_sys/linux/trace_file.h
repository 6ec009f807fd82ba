// The request trace (KELVORANT_TRACE): one line appended per request. Each line goes out in one write() on a
// file opened with O_APPEND, so that the lines of several processes tracing into one file stay whole.
#pragma once
#include <string>

namespace kvsys {

class TraceFile {
 public:
  TraceFile() = default;
  ~TraceFile();
  TraceFile(const TraceFile &) = delete;
  TraceFile &operator=(const TraceFile &) = delete;

  // False with the reason in *why when the file cannot be opened for appending (it is created if missing).
  bool Open(const std::string &path, std::string *why);
  bool is_open() const { return fd_ >= 0; }
  // Appends the line and its "\n".
  void Append(const std::string &line);

 private:
  int fd_ = -1;
};

}  // namespace kvsys
