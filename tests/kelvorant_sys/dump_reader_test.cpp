// The lspci dump reader: what lspci -F accepts is accepted and a malformed data line stops the reader with its
// line number. That every capture parses to what lspci itself reads from it is shown by
// tests/e2e/lspci_agreement_test.cpp; arbitrary input is the dump fuzz target's.
#include <gtest/gtest.h>

#include "driver_test_util.h"

namespace {

using kvtest::ParseDump;

TEST(DumpReader, AcceptsWhatLspciAccepts) {
  struct Case { const char *name, *text; const char *address; std::vector<uint8_t> image; } cases[] = {
      {"header alone on its line", "00:01.0\n00: 01 02\n", "00:01.0", {1, 2}},
      {"CRLF line ends, no final newline", "00:01.0 x\r\n00: 01 02 \r\n10: 03", "00:01.0",
       {1, 2, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 3}},
      {"text lines and unindented titles between", "00:01.0 VGA\n\tControl: I/O+\nLatency: 0\n00: aa\n", "00:01.0", {0xaa}},
      {"data after a blank line belongs to no function", "00:01.0\n00: 01\n\n00: 02\n", "00:01.0", {1}},
      {"a five-digit domain", "10000:00:1f.3 x\n04: 05\n", "10000:00:1f.3", {0xff, 0xff, 0xff, 0xff, 5}},
      {"\"OO:\" without a space is text", "00:01.0\n00:\n00: 07\n", "00:01.0", {7}},
      {"a function without data", "00:01.0 x\n", "00:01.0", {}},
  };
  for (const auto &c : cases) {
    const kvtest::DumpParse parse = ParseDump(c.text);
    EXPECT_EQ(parse.error, "") << c.name;
    ASSERT_EQ(parse.functions.size(), 1u) << c.name;
    EXPECT_EQ(FormatAddress(parse.functions[0].address), c.address) << c.name;
    EXPECT_EQ(parse.functions[0].image, c.image) << c.name;
  }
}

TEST(DumpReader, MalformedLinesStopWithTheirNumber) {
  struct Case { const char *text; size_t line; const char *error; } cases[] = {
      {"00:01.0\n00: 01 zz\n", 2, "malformed data line at \"zz\" (two-digit hex bytes expected)"},
      {"00:01.0\n00: 01  02\n", 2, "malformed data line at \" 02\" (two-digit hex bytes expected)"},
      {"00:01.0\n\n00:02.0\n00: 1\n", 4, "malformed data line at \"1\" (two-digit hex bytes expected)"},
      {"00:01.0\n00: 01\x01" "02\n", 2, "malformed data line at \"01\x01" "02\" (two-digit hex bytes expected)"},
      {"00:01.0\nff0: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n", 2, "data line reaches past offset 0xfff"},
      {"x\n00:20.0 bad device\n", 2, "\"00:20.0\" is out of range (device 00-1f, function 0-7)"},
      {"00:01.8\n", 1, "\"00:01.8\" is out of range (device 00-1f, function 0-7)"},
  };
  for (const auto &c : cases) {
    const kvtest::DumpParse parse = ParseDump(c.text);
    EXPECT_EQ(parse.error, c.error) << c.text;
    EXPECT_EQ(parse.error_line, c.line) << c.text;
  }
}

}  // namespace
