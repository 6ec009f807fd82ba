// kelvorant against pciutils on the same captures: the demo machine and every lspci capture of the test data,
// served one PCI domain at a time. The device list must hold the functions, classes and IDs that `lspci -n`
// lists (less those that the scan never probes because an earlier function of their device is absent), and for
// each of them the register view must show, row by row, the values made of the bytes that `lspci -xxxx` prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "driver_model.h"
#include "harness.h"

namespace {

namespace fs = std::filesystem;
using kvtest::Sandbox;
using Json = nlohmann::ordered_json;

// ---- what lspci says ----

struct LspciFunction {
  unsigned domain = 0;
  uint32_t key = 0;
  uint32_t classCode = 0;      // base class, subclass, programming interface
  std::string vendor, device;  // four lower-case digits, as lspci -n writes them
  std::vector<int> bytes;      // 4096 entries; -1 where lspci printed nothing
  bool pciExpress = false;     // its capability list reaches Express before PCI-X
};

std::string Command(const std::string &command) {
  std::string out;
  if (FILE *pipe = popen(command.c_str(), "r")) {
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

bool HaveLspci() { return std::system("command -v lspci >/dev/null 2>&1") == 0; }

// DDDD:BB:DD.F as a domain and a key.
bool ParseSlot(const std::string &slot, unsigned *domain, uint32_t *key) {
  unsigned bus, device, function;
  if (std::sscanf(slot.c_str(), "%x:%x:%x.%x", domain, &bus, &device, &function) != 4) return false;
  *key = kvtest::Key(bus, device, function);
  return true;
}

// Every function of the capture, in lspci's order (domain, bus, device, function), from one run of
// `lspci -nvv -xxxx`: the title line of a function gives its address, class and IDs as `lspci -n` lists them,
// the verbose text its capability list, and the hex dump its bytes.
std::vector<LspciFunction> Lspci(const fs::path &capture) {
  std::vector<LspciFunction> functions;
  // 0000:00:02.0 0300: 8086:2a02 (rev 03) (prog-if 00 [VGA controller]); no prog-if when it is 00 and unnamed
  const std::regex title(R"(^(\S+) ([0-9a-f]{4}): ([0-9a-f]{4}):([0-9a-f]{4})(.*)$)");
  const std::regex progIf(R"(\(prog-if ([0-9a-f]{2}))");
  const std::regex capability(R"(^\tCapabilities: \[[0-9a-f]{2}\] (Express|PCI-X).*)");
  const std::regex hex(R"(^([0-9a-f]{2,3}):((?: [0-9a-f]{2})+)$)");
  bool decided = false;  // whether the function's capability list has reached Express or PCI-X
  for (const std::string &line :
       kvtest::Lines(Command("lspci -F '" + capture.string() + "' -D -nvv -xxxx 2>/dev/null"))) {
    std::smatch m;
    if (std::regex_match(line, m, title)) {
      LspciFunction f;
      if (!ParseSlot(m[1], &f.domain, &f.key)) continue;
      f.classCode = std::stoul(m[2], nullptr, 16) << 8;
      const std::string rest = m[5];
      std::smatch p;
      if (std::regex_search(rest, p, progIf)) f.classCode |= std::stoul(p[1], nullptr, 16);
      f.vendor = m[3];
      f.device = m[4];
      f.bytes.assign(4096, -1);
      functions.push_back(f);
      decided = false;
    } else if (functions.empty()) {
      continue;
    } else if (std::regex_match(line, m, capability)) {
      if (!decided) functions.back().pciExpress = m[1] == "Express";
      decided = true;
    } else if (std::regex_match(line, m, hex)) {
      unsigned offset = std::stoul(m[1], nullptr, 16);
      const std::string values = m[2];
      for (size_t i = 0; i + 3 <= values.size(); i += 3)
        functions.back().bytes.at(offset++) = std::stoi(values.substr(i + 1, 2), nullptr, 16);
    }
  }
  return functions;
}

// The functions of one domain that the scan reaches: function 0 of a device, and each further function while
// every lower function of the device is present.
std::vector<LspciFunction> Reached(const std::vector<LspciFunction> &all, unsigned domain) {
  std::set<uint32_t> present;
  for (const auto &f : all)
    if (f.domain == domain) present.insert(f.key);
  std::vector<LspciFunction> reached;
  for (const auto &f : all) {
    if (f.domain != domain) continue;
    bool gap = false;
    for (uint32_t lower = f.key & ~0xFFu; lower < f.key; ++lower) gap = gap || !present.count(lower);
    if (!gap) reached.push_back(f);
  }
  std::sort(reached.begin(), reached.end(), [](const auto &a, const auto &b) { return a.key < b.key; });
  return reached;
}

// ---- what the register view must show for those bytes ----

// size 1, 2, 3 or 4: a little-endian number of that many bytes; kInOrder: three bytes in address order.
const int kInOrder = -3;
struct Field {
  const char *label;
  int offset, size;
};
const std::vector<Field> kCommon = {
    {"Vendor ID", 0x00, 2},   {"Device ID", 0x02, 2},  {"Command", 0x04, 2},         {"Status", 0x06, 2},
    {"Revision ID", 0x08, 1}, {"Class Code", 0x09, 3}, {"Cache Line Size", 0x0C, 1}, {"Latency Timer", 0x0D, 1},
    {"Header Type", 0x0E, 1}, {"BIST", 0x0F, 1},
};
const std::vector<Field> kLayouts[3] = {
    {{"BAR0", 0x10, 4},
     {"BAR1", 0x14, 4},
     {"BAR2", 0x18, 4},
     {"BAR3", 0x1C, 4},
     {"BAR4", 0x20, 4},
     {"BAR5", 0x24, 4},
     {"Cardbus CIS pointer", 0x28, 4},
     {"Subsystem Vendor ID", 0x2C, 2},
     {"Subsystem ID", 0x2E, 2},
     {"Expansion ROM Base", 0x30, 4},
     {"Capabilities Pointer", 0x34, 1},
     {"Reserved1", 0x35, kInOrder},
     {"Reserved2", 0x38, 4},
     {"Interrupt Line", 0x3C, 1},
     {"Interrupt Pin", 0x3D, 1},
     {"Minimam Grant", 0x3E, 1},
     {"Maximum Latency", 0x3F, 1}},
    {{"BAR0", 0x10, 4},
     {"BAR1", 0x14, 4},
     {"Primary Bus", 0x18, 1},
     {"Secondary Bus", 0x19, 1},
     {"Subordinate Bus", 0x1A, 1},
     {"Secondary Latency", 0x1B, 1},
     {"IO Base", 0x1C, 1},
     {"IO Limit", 0x1D, 1},
     {"Secondary Status", 0x1E, 2},
     {"Memory Base", 0x20, 2},
     {"Memory Limit", 0x22, 2},
     {"Prefetch Base", 0x24, 2},
     {"Prefetch Limit", 0x26, 2},
     {"Prefetch Base Upper32", 0x28, 4},
     {"Prefetch Limit Upper32", 0x2C, 4},
     {"IO Base Upper16", 0x30, 2},
     {"IO Limit Upper16", 0x32, 2},
     {"Capabilities Pointer", 0x34, 1},
     {"Reserved", 0x35, kInOrder},
     {"ROM Base Address", 0x38, 4},
     {"Interrupt Line", 0x3C, 1},
     {"Interrupt Pin", 0x3D, 1},
     {"Bridge Control", 0x3E, 2}},
    {{"Socket Registers Base Address", 0x10, 4},
     {"Capabilities Pointer", 0x14, 1},
     {"Reserved", 0x15, 1},
     {"Secondary Status", 0x16, 2},
     {"Primary Bus", 0x18, 1},
     {"Secondary Bus", 0x19, 1},
     {"Subordinate Bus", 0x1A, 1},
     {"Secondary Latency", 0x1B, 1},
     {"Base1", 0x1C, 4},
     {"Limit1", 0x20, 4},
     {"Base2", 0x24, 4},
     {"Limit2", 0x28, 4},
     {"Base3", 0x2C, 4},
     {"Limit3", 0x30, 4},
     {"Base4", 0x34, 4},
     {"Limit4", 0x38, 4},
     {"Interrupt Line", 0x3C, 1},
     {"Interrupt Pin", 0x3D, 1},
     {"Bridge Control", 0x3E, 2}},
};

// A byte as the driver serves it: what the capture holds, 0xFF past the end of its image.
unsigned Byte(const LspciFunction &f, int offset) { return f.bytes[offset] < 0 ? 0xFF : f.bytes[offset]; }

std::string Value(const LspciFunction &f, const Field &field) {
  char text[32];
  if (field.size == kInOrder) {
    std::snprintf(text, sizeof text, "%02X%02X%02X", Byte(f, field.offset), Byte(f, field.offset + 1),
                  Byte(f, field.offset + 2));
  } else {
    unsigned long value = 0;
    for (int i = field.size - 1; i >= 0; --i) value = value << 8 | Byte(f, field.offset + i);
    std::snprintf(text, sizeof text, "%0*lX", 2 * field.size, value);
  }
  return text;
}

std::vector<std::pair<std::string, std::string>> ExpectedView(const LspciFunction &f) {
  std::vector<std::pair<std::string, std::string>> rows;
  const unsigned headerType = Byte(f, 0x0E) & 0x7F;
  std::vector<Field> fields = kCommon;
  if (headerType < 3) fields.insert(fields.end(), kLayouts[headerType].begin(), kLayouts[headerType].end());
  rows.reserve(fields.size());
  for (const Field &field : fields) rows.emplace_back(field.label, Value(f, field));
  const int end = f.pciExpress ? 0x1000 : 0x100;
  for (int offset = headerType < 3 ? 0x40 : 0x10; offset < end; offset += 16) {
    char label[32], value[40];
    std::snprintf(label, sizeof label, "Device Specific [%X]", offset);
    char *p = value;
    for (int i = 0; i < 16; ++i) p += std::sprintf(p, "%s%02X", i && i % 4 == 0 ? " " : "", Byte(f, offset + i));
    rows.emplace_back(label, value);
  }
  return rows;
}

std::vector<std::pair<std::string, std::string>> Shown(const Json &dump) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const Json &row : dump["lists"]["1002"]["rows"]) rows.emplace_back(row["cells"][0], row["cells"][1]);
  return rows;
}

Json ListedRow(const LspciFunction &f) {
  char classCode[8];
  std::snprintf(classCode, sizeof classCode, "%06x", f.classCode);
  std::string vendor = f.vendor, device = f.device;
  std::transform(vendor.begin(), vendor.end(), vendor.begin(), ::toupper);
  std::transform(device.begin(), device.end(), device.begin(), ::toupper);
  return {std::to_string(f.key >> 16),
          std::to_string((f.key >> 8) & 0xFF),
          std::to_string(f.key & 0xFF),
          classCode,
          vendor,
          device,
          f.pciExpress ? "PCI Express" : ""};
}

// ---- the comparison ----

// Runs kelvorant on the machine, steps through the device list with the arrow keys and compares each row and
// each view with lspci's account of the capture.
void ExpectAgreement(const std::string &machine, const std::vector<LspciFunction> &expected) {
  std::string script = "focus 1000\ndump\n";
  for (size_t i = 1; i < expected.size(); ++i) script += "key Down\ndump\n";
  Sandbox box;
  auto result = box.Run(machine, script, {{"KELVORANT_TRACE", ""}});  // thousands of probes nobody reads here
  ASSERT_EQ(result.exitCode, 0) << result.err;
  auto dumps = result.Dumps();
  ASSERT_EQ(dumps.size(), std::max<size_t>(expected.size(), 1));

  const Json &rows = dumps.back()["lists"]["1000"]["rows"];
  ASSERT_EQ(rows.size(), expected.size()) << rows.dump();
  for (size_t i = 0; i < expected.size(); ++i) {
    const LspciFunction &f = expected[i];
    SCOPED_TRACE(kvtest::Bdf(f.key));
    Json cells = rows[i]["cells"];
    cells.erase(cells.begin());  // the class description is this program's own
    EXPECT_EQ(cells, ListedRow(f));
    EXPECT_EQ(rows[i]["data"], f.key);
    EXPECT_EQ(dumps[i]["lists"]["1000"]["mark"], i);
    EXPECT_EQ(Shown(dumps[i]), ExpectedView(f));
  }
  if (expected.empty()) {
    EXPECT_EQ(dumps[0]["lists"]["1002"]["rows"], Json::array());
  }
}

TEST(LspciAgreement, DeviceListAndRegisterViewMatchLspciOnEveryCapture) {
  if (!HaveLspci()) GTEST_SKIP() << "lspci (pciutils) is not installed";

  // The demo machine is built from its capture; every capture is also served as a machine of its own.
  std::vector<std::pair<std::string, fs::path>> machines = {
      {"demo", kvtest::DataDir() / ".." / ".." / "kelvorant_sys" / "data" / "tree-fujitsu-p8010.txt"}};
  std::vector<fs::path> captures;
  for (const auto &entry : fs::directory_iterator(kvtest::DataDir() / "lspci"))
    if (entry.path().extension() == ".txt") captures.push_back(entry.path());
  std::sort(captures.begin(), captures.end());
  ASSERT_GE(captures.size(), 12u);
  for (const fs::path &capture : captures) machines.emplace_back(capture.string(), capture);

  size_t compared = 0, extended = 0;
  for (const auto &[machine, capture] : machines) {
    SCOPED_TRACE(capture.filename().string() + " as " + machine);
    const std::vector<LspciFunction> all = Lspci(capture);
    ASSERT_FALSE(all.empty()) << "lspci read nothing from " << capture;
    // Domain 0000 always, and the first other domain of a capture through the machine's @DDDD suffix (the
    // further domains of the PCI-X capture repeat the first one's kinds of function).
    std::set<unsigned> domains = {0};
    for (const auto &f : all)
      if (f.domain && machine != "demo") {
        domains.insert(f.domain);
        break;
      }
    for (unsigned domain : domains) {
      char suffix[16] = "";
      if (domain) std::snprintf(suffix, sizeof suffix, "@%04x", domain);
      SCOPED_TRACE("domain " + std::to_string(domain));
      const auto expected = Reached(all, domain);
      ExpectAgreement(machine + suffix, expected);
      compared += expected.size();
      for (const auto &f : expected) extended += f.pciExpress;
    }
  }
  // The captures hold enough to make the comparison mean something.
  EXPECT_GE(compared, 50u);
  EXPECT_GE(extended, 13u);
}

}  // namespace
