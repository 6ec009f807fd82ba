// Reader of lspci hex dumps: what `lspci -F` accepts, i.e. the output of `lspci -x`, `-xxx` or `-xxxx`, with
// or without the `-v` text.
//   - A line that starts with "BB:DD.F" or "DDDD:BB:DD.F" (a 4- or 5-digit domain) followed by a space or
//     the end of the line starts a function.
//   - Inside a function, a line "OFFSET: xx xx ..." (2 to 8 hex digits, a colon, a space, then two-digit hex
//     bytes separated by single spaces) gives bytes from OFFSET on. A malformed byte list, or bytes reaching
//     offset 0x1000, is an error.
//   - An empty line ends the function; data lines outside a function are ignored, as are all other lines
//     (lspci's indented decoding, titles). A "\r" before the line end is dropped.
// A function's image is as long as its data lines reach; bytes inside it that no line gave are 0xFF. The
// reader is a pure function of the text: no files, no globals, and no input can make it read or write
// outside its buffers.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/pci_address.h"

namespace kvsys {

class DumpReader {
 public:
  // Receives every function when it ends (at a blank line, the next function or Finish). The image span is
  // valid only during the call. Returns "", or why the function cannot be taken (a machine has one function
  // at an address): the reader then stops with that error at the function's first line.
  using Sink = std::function<std::string(const PciAddress &address, std::span<const uint8_t> image)>;

  explicit DumpReader(Sink sink);

  // One line without its "\n". Returns false on a malformed line; error() says why and line() where
  // (counting from 1). After an error the reader takes nothing more.
  bool Feed(std::string_view line);
  // Text of lines that end at "\n" (a last line without one counts); false at the first malformed line.
  bool FeedText(std::string_view text);
  // The end of the text: delivers the last function. False when the sink refuses it, or after an error.
  bool Finish();

  const std::string &error() const { return error_; }
  size_t line() const { return line_; }

 private:
  bool Fail(std::string why);
  bool ReadDataLine(std::string_view line);
  bool EndFunction();

  Sink sink_;
  size_t line_ = 0;
  bool in_function_ = false;
  PciAddress address_;
  size_t function_line_ = 0;  // where the current function's header is
  // On the heap, so that a reader is a small object on a kernel stack too.
  std::vector<uint8_t> image_;
  size_t length_ = 0;  // how far the data lines of the current function reach
  std::string error_;
};

}  // namespace kvsys
