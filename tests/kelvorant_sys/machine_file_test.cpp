// JSON machine files: what they build, and the place that a malformed one names.
#include <gtest/gtest.h>

#include <map>

#include "core/machine_choice.h"
#include "driver_test_util.h"

namespace {

// Files in memory, so that these tests need no file system.
struct MemoryFiles : kvtest::TestFiles {
  MemoryFiles() : TestFiles([this](const std::string &path) -> std::optional<std::string> {
    return files.contains(path) ? std::optional(files[path]) : std::nullopt;
  }) {}
  std::map<std::string, std::string> files;
};

TEST(MachineFile, DumpThenFunctionsThenFaults) {
  MemoryFiles files;
  files.files["/m/base.txt"] = "00:01.0 x\n00: 11 22\n\n00:02.0 y\n00: 33 44\n\n0001:00:03.0 z\n00: 55\n";
  files.files["/m/machine.json"] = R"({
    "dump": "base.txt",
    "functions": [
      {"address": "00:02.0", "config": "aa bb cc", "writable": "ff", "clear_on_write": "00 01"},
      {"address": "0000:05:00.0", "config": "01020304"},
      {"address": "0001:06:00.0", "config": "01"}
    ],
    "faults": [
      {"address": "1f:1f.7", "request": "IOCTL_WRITE_EXT_CONFIG", "skip": 2, "times": 3, "error": 31},
      {"address": "0001:00:03.0", "request": "IOCTL_READ_CONFIG", "status": 5}
    ]})";
  kvsys::FaultTable faults;
  std::string why;
  auto m = kvsys::LoadJsonMachine("/m/machine.json", 0, files, &faults, &why);
  ASSERT_TRUE(m) << why;
  EXPECT_EQ(kvtest::FunctionsOf(*m), (std::vector<kvsys::FunctionIndex>{0x0001 << 3, 0x0002 << 3, 0x0500}));
  EXPECT_EQ(std::vector<uint8_t>(m->Image(0x10).begin(), m->Image(0x10).end()), (std::vector<uint8_t>{0xaa, 0xbb, 0xcc}));
  std::vector<uint8_t> writable, w1c;
  kvtest::MasksOf(*m, 0x10, &writable, &w1c);
  EXPECT_EQ(writable, (std::vector<uint8_t>{0xff, 0, 0}));
  EXPECT_EQ(w1c, (std::vector<uint8_t>{0, 1, 0}));
  // The fault of domain 0001 is not served; the other one is armed.
  for (int i = 0; i < 6; ++i) {
    const bool hit = kvsys::MatchFault(faults, kvsys::IOCTL_WRITE_EXT_CONFIG, {0, 0x1f, 0x1f, 7});
    EXPECT_EQ(hit, i >= 2 && i < 5) << i;
  }
  EXPECT_FALSE(kvsys::MatchFault(faults, kvsys::IOCTL_READ_CONFIG, {0, 0, 3, 0}));
}

TEST(MachineFile, MalformedFilesNameThePlace) {
  using namespace std::string_literals;
  struct Case { std::string json; const char *error; } cases[] = {
      {"{\n  \"dump\": \"a\" \"b\"\n}", "m.json: line 2, column 17: syntax error while parsing object - unexpected string literal; expected '}'"},
      {R"({"functions": [], "dumps": "x"})", "m.json: dumps: unknown key"},
      {R"({"dump": 3})", "m.json: dump: a string expected"},
      {R"({"functions": {}})", "m.json: functions: an array expected"},
      {R"({"functions": [{"address": "00:00.0", "config": "00"}, {"config": "00"}]})", "m.json: functions[1]: \"address\" missing"},
      {R"({"functions": [{"address": "0:0.0", "config": "00"}]})",
       "m.json: functions[0].address: \"0:0.0\" is not a PCI address (BB:DD.F or DDDD:BB:DD.F)"},
      {R"({"functions": [{"address": "00:00.0", "config": "00 0g"}]})",
       "m.json: functions[0].config: not a hex byte at character 4 (two hex digits per byte expected)"},
      {R"({"functions": [{"address": "00:00.0", "config": ""}]})", "m.json: functions[0].config: 0 bytes (1 to 4096 expected)"},
      {R"({"functions": [{"address": "00:00.0", "config": "00", "writable": "00 00"}]})",
       "m.json: functions[0].writable: 2 bytes, longer than config (1)"},
      {R"({"faults": [{"address": "00:00.0", "request": "IOCTL_READ", "error": 1}]})",
       "m.json: faults[0].request: unknown request \"IOCTL_READ\" (IOCTL_READ_CONFIG, IOCTL_WRITE_CONFIG, "
       "IOCTL_READ_EXT_CONFIG or IOCTL_WRITE_EXT_CONFIG)"},
      {R"({"faults": [{"address": "00:00.0", "request": "IOCTL_READ_CONFIG", "skip": -1, "status": 1}]})",
       "m.json: faults[0].skip: an integer from 0 to 4294967295 expected"},
      {R"({"faults": [{"address": "00:00.0", "request": "IOCTL_READ_CONFIG", "returned": 273}]})",
       "m.json: faults[0].returned: an integer from 0 to 272 expected"},
      {R"({"faults": [{"address": "00:00.0", "request": "IOCTL_READ_CONFIG", "error": 31, "status": 2}]})",
       "m.json: faults[0]: \"error\" fails the request; it cannot be combined with \"returned\" or \"status\""},
      {R"({"faults": [{"address": "00:00.0", "request": "IOCTL_READ_CONFIG"}]})",
       "m.json: faults[0]: nothing to do: give \"error\", \"returned\" or \"status\""},
      // What the parsed tree would hide: the last of two keys, the first of two functions.
      {R"({"functions": [{"address": "00:00.0", "config": "00", "config": "01"}]})",
       "m.json: functions[0].config: given twice (each key once)"},
      {R"({"functions": [{"address": "00:01.0", "config": "00"}, {"address": "0000:00:01.0", "config": "01"}]})",
       "m.json: functions[1].address: 00:01.0 is functions[0]'s too"},
      {"{\"dump\": \"d.txt\"}", "/m/d.txt:4: 00:01.0 appears a second time (a machine has one function at an address)"},
      // What a hostile file would make costly: depth, and width (an object's keys are searched linearly).
      {R"({"functions": [{"address": "00:00.0", "config": [[[[[[1]]]]]]}]})",
       "m.json: functions[0].config[0][0][0][0][0]: nested deeper than 8 levels"},
      {R"({"faults": [{"a":0,"b":0,"c":0,"d":0,"e":0,"f":0,"g":0,"h":0,"i":0,"j":0,"k":0,"l":0,"m":0,"n":0,"o":0,"p":0,"q":0}]})",
       "m.json: faults[0]: more than 16 members (a machine file's objects have at most 7)"},
      // The JSON reader would take a NUL for the end of the text and not read on.
      {"{\"functions\": []}\n\0 {{"s, "m.json: line 2, column 1: a NUL byte (a machine file is text)"},
      // A NUL written as an escape would cut the name that holds it.
      {R"({"dump": "d.txt\u0000x"})", "/m/m.json: dump: a NUL character (\\u0000) in a string"},
      {R"({"functions": [{"address": "00:00.0", "a\u0000": 1}]})",
       "m.json: functions[0]: a key with a NUL character (\\u0000)"},
  };
  for (const auto &c : cases) {
    MemoryFiles files;
    files.files["m.json"] = c.json;
    // A dump named in the file is found next to it; "m.json" has no folder, so use one for those cases.
    const bool with_folder = c.json.find("\"dump\"") != std::string::npos;
    if (with_folder) files.files["/m/m.json"] = c.json;
    files.files["/m/d.txt"] = "00:01.0\n00: 01\n\n00:01.0\n00: 02\n";
    kvsys::FaultTable faults;
    std::string why;
    EXPECT_FALSE(kvsys::LoadJsonMachine(with_folder ? "/m/m.json" : "m.json", 0, files, &faults, &why)) << c.json;
    std::string expected = c.error;
    if (with_folder && expected.starts_with("m.json")) expected.insert(0, "/m/");
    EXPECT_EQ(why, expected) << c.json;
  }
}

}  // namespace
