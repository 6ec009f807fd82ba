// The lspci dump reader: the captures parse to their functions and bytes; what lspci -F accepts is accepted
// and a malformed data line stops the reader with its line number.
#include <gtest/gtest.h>

#include "core/dump_reader.h"
#include "driver_test_util.h"

namespace {

using kvsys::ParseDump;

TEST(DumpReader, CapturesParseToTheirFunctions) {
  struct Case { const char *file; size_t functions, full_images; } cases[] = {
      {"tree-fujitsu-p8010.txt", 22, 6}, {"PCI-X-bridges-and-domains.txt", 31, 0}, {"cap-pcie-1.txt", 1, 1},
      {"cap-vendor-virtio.txt", 2, 0},   {"broken-ecaps.txt", 1, 1},               {"bridge-ctl-vga16.txt", 2, 0},
      {"cap-ht.txt", 2, 0},              {"cap-MSI-mapping.txt", 1, 0},            {"cap-pci-af.txt", 1, 0},
      {"cap-debug-port.txt", 1, 0},      {"cap-ea-1.txt", 1, 1},                   {"cap-rebar.txt", 1, 1},
  };
  for (const auto &c : cases) {
    const kvsys::DumpParse parse = ParseDump(kvtest::Capture(c.file));
    EXPECT_EQ(parse.error, "") << c.file;
    EXPECT_EQ(parse.functions.size(), c.functions) << c.file;
    size_t full = 0;
    for (const auto &f : parse.functions) {
      full += f.image.size() == 4096;
      EXPECT_TRUE(f.image.size() == 256 || f.image.size() == 4096) << c.file << " " << FormatAddress(f.address);
    }
    EXPECT_EQ(full, c.full_images) << c.file;
  }
}

TEST(DumpReader, BytesAndAddresses) {
  const kvsys::DumpParse fujitsu = ParseDump(kvtest::Capture("tree-fujitsu-p8010.txt"));
  ASSERT_EQ(fujitsu.functions.size(), 22u);
  const auto &host = fujitsu.functions[0];  // 00:00.0 Host bridge, 8086:2a00
  EXPECT_EQ(FormatAddress(host.address), "00:00.0");
  EXPECT_EQ(std::vector<uint8_t>(host.image.begin(), host.image.begin() + 4), (std::vector<uint8_t>{0x86, 0x80, 0x00, 0x2a}));
  EXPECT_EQ(host.image[0xf8], 0x90);
  const auto &last = fujitsu.functions[21];  // 1d:00.0, 3Com
  EXPECT_EQ(FormatAddress(last.address), "1d:00.0");
  EXPECT_EQ(last.image[0] | last.image[1] << 8, 0x10b7);

  const kvsys::DumpParse domains = ParseDump(kvtest::Capture("PCI-X-bridges-and-domains.txt"));
  ASSERT_EQ(domains.functions.size(), 31u);
  EXPECT_EQ(FormatAddress(domains.functions[2].address), "0001:00:02.0");
  EXPECT_EQ(domains.functions[30].address.domain, 4u);
}

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
    const kvsys::DumpParse parse = ParseDump(c.text);
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
      {"00:01.0\nff0: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n", 2, "data line reaches past offset 0xfff"},
      {"00:01.0\n1000: 00\n", 2, "data line reaches past offset 0xfff"},
      {"00:01.0\nabc: def\n", 2, "malformed data line at \"def\" (two-digit hex bytes expected)"},
      {"x\n00:20.0 bad device\n", 2, "\"00:20.0\" is out of range (device 00-1f, function 0-7)"},
      {"00:01.8\n", 1, "\"00:01.8\" is out of range (device 00-1f, function 0-7)"},
  };
  for (const auto &c : cases) {
    const kvsys::DumpParse parse = ParseDump(c.text);
    EXPECT_EQ(parse.error, c.error) << c.text;
    EXPECT_EQ(parse.error_line, c.line) << c.text;
  }
}

TEST(DumpReader, SurvivesArbitraryBytes) {
  // Every prefix of a capture, and bytes that are not text, end in functions or an error, never a crash.
  const std::string capture = kvtest::Capture("cap-pcie-1.txt");
  for (size_t cut = 0; cut < capture.size(); cut += 97) ParseDump(std::string_view(capture).substr(0, cut));
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise += static_cast<char>((i * 7919) % 256);
  ParseDump("00:00.0\n" + noise);
}

}  // namespace
