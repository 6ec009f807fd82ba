#include "core/dump_reader.h"

#include <algorithm>

#include "core/pci_regs.h"

namespace kvsys {

namespace {

// The whole text has the pattern's shape: "#" stands for a hex digit, any other character for itself.
bool HasShape(std::string_view text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < pattern.size(); ++i)
    if (pattern[i] == '#' ? !IsHexDigit(text[i]) : pattern[i] != text[i]) return false;
  return true;
}

// The first bytes of a line, as they are: the line that says them shows a control byte as \xNN.
std::string Quote(std::string_view text) { return "\"" + std::string(text.substr(0, 24)) + "\""; }

}  // namespace

DumpReader::DumpReader(Sink sink) : sink_(std::move(sink)), image_(kExtendedSize, 0xff) {}

bool DumpReader::Fail(std::string why) {
  error_ = std::move(why);
  return false;
}

bool DumpReader::ReadDataLine(std::string_view line) {
  const size_t colon = line.find(':');
  uint32_t offset = 0;
  if (colon < 2 || colon > 8 || colon + 1 >= line.size() || line[colon + 1] != ' ' ||
      !ParseHex(line.substr(0, colon), 8, &offset))
    return true;  // not a data line: text to ignore
  std::string_view bytes = line.substr(colon + 2);
  // Each byte is two hex digits followed by a single space or the end of the line.
  while (bytes.size() >= 2 && IsHexDigit(bytes[0]) && IsHexDigit(bytes[1]) && (bytes.size() == 2 || bytes[2] == ' ')) {
    if (offset >= kExtendedSize) return Fail("data line reaches past offset 0xfff");
    image_[offset++] = static_cast<uint8_t>(HexValue(bytes[0]) << 4 | HexValue(bytes[1]));
    length_ = std::max(length_, size_t{offset});
    bytes.remove_prefix(bytes.size() == 2 ? 2 : 3);
  }
  if (!bytes.empty()) return Fail("malformed data line at " + Quote(bytes) + " (two-digit hex bytes expected)");
  return true;
}

bool DumpReader::EndFunction() {
  if (!in_function_) return true;
  in_function_ = false;
  std::string refused = sink_(address_, std::span<const uint8_t>(image_.data(), length_));
  if (refused.empty()) return true;
  line_ = function_line_;
  return Fail(std::move(refused));
}

bool DumpReader::Feed(std::string_view line) {
  if (!error_.empty()) return false;
  ++line_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

  const std::string_view head = line.substr(0, line.find(' '));
  if (HasShape(head, "##:##.#") || HasShape(head, "####:##:##.#") || HasShape(head, "#####:##:##.#")) {
    PciAddress address;
    std::string why;
    if (!ParsePciAddress(head, &address, &why)) return Fail(why);
    if (!EndFunction()) return false;
    in_function_ = true;
    address_ = address;
    function_line_ = line_;
    // Only the bytes that the last function's lines reached can differ from 0xFF: a dump of 64-byte
    // images must not pay for refilling 4096 bytes per function.
    std::fill(image_.begin(), image_.begin() + static_cast<std::ptrdiff_t>(length_), uint8_t{0xff});
    length_ = 0;
    return true;
  }
  if (line.empty()) return EndFunction();
  return in_function_ ? ReadDataLine(line) : true;
}

bool DumpReader::FeedText(std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (!Feed(text.substr(0, end))) return false;
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return true;
}

bool DumpReader::Finish() { return error_.empty() && EndFunction(); }

}  // namespace kvsys
