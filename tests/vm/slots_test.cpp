// Save, settings lost, Reload on a real kernel and QEMU's device models, in one kelvorant process (the
// guest's step slots.sh says how each function loses its settings). Judged against lspci of the same
// guest at the Save, after the loss and at the end, against what the devices answer through their BARs,
// against the kernel log and against QEMU's own trace of the configuration writes it received.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "guest_results.h"
#include "harness.h"

namespace {

using Json = nlohmann::ordered_json;
using kvtest::LspciFunction;
using Captures = std::vector<LspciFunction>;

constexpr int kPciExpressCap = 0x10, kAer = 0x0001;

// A function of the step, in the order of its slots.
struct Saved {
  std::string address;
  int slot;
  std::string bar;  // "-" for none
};

std::vector<Saved> SavedFunctions() {
  std::vector<Saved> saved;
  std::istringstream in(kvvm::StepFile("slots", "functions.txt"));
  for (Saved s; in >> s.address >> s.slot >> s.bar;) {
    std::string offset;
    in >> offset;
    saved.push_back(s);
  }
  EXPECT_EQ(saved.size(), 5u);
  return saved;
}

// The slots in the order the script reloads them; the root port (slot 5) comes first, so that the
// device behind it answers when its own turn comes.
const int kReloadOrder[] = {5, 4, 1, 2, 3};
const char kPort[] = "root port";

bool IsRootPort(const Saved &s) { return s.bar == "-"; }

struct Step {
  Captures saved, lost, cut, restored;
  std::vector<Json> dumps;
  std::vector<Json> boxes;
};

Step ReadStep() {
  Step step;
  step.saved = kvvm::Capture("slots", "lspci-saved.txt");
  step.lost = kvvm::Capture("slots", "lspci-lost.txt");
  step.cut = kvvm::Capture("slots", "lspci-cut.txt");
  step.restored = kvvm::Capture("slots", "lspci-restored.txt");
  for (const Json &line : kvvm::JsonLines("slots", "dump.jsonl")) {
    if (line.contains("dump")) step.dumps.push_back(line["dump"]);
    if (line.contains("messageBox")) step.boxes.push_back(line["messageBox"]);
  }
  EXPECT_FALSE(std::filesystem::exists(kvvm::GuestDir() / "results/slots/late.txt"))
      << "the settings were lost after the program's sleep had ended: raise the guest's loss_ms";
  EXPECT_EQ(kvvm::StepFile("slots", "exit-status.txt"), "0\n") << kvvm::StepFile("slots", "stderr.txt");
  EXPECT_EQ(kvvm::StepFile("slots", "stdout.txt"), kvtest::kNoService);
  return step;
}

// The state a function was in when its Reload read it: the root port lost its settings last, the others
// before it.
const LspciFunction *BeforeReload(const Step &step, const Saved &s) {
  return kvvm::Find(IsRootPort(s) ? step.cut : step.lost, s.address);
}

// Bytes whose bits the hardware owns, so that a Reload cannot put them back: the status registers (their
// error bits clear when written with 1, the rest is read-only), a bridge's secondary status, the PCI
// Express capability's device, link, slot and root status, and the AER capability's status registers,
// header log, root error status and error source.
std::set<int> HardwareOwned(const LspciFunction &f) {
  std::set<int> owned = {0x06, 0x07};
  auto add = [&owned](int from, int count) {
    for (int i = 0; i < count; ++i) owned.insert(from + i);
  };
  if ((kvtest::Byte(f, 0x0E) & 0x7F) == 1) add(0x1E, 2);
  if (const int exp = kvvm::FindCapability(f, kPciExpressCap)) {
    add(exp + 0x0A, 2);
    add(exp + 0x12, 2);
    add(exp + 0x1A, 2);
    add(exp + 0x20, 4);
    add(exp + 0x32, 2);
  }
  if (const int aer = kvvm::FindExtCapability(f, kAer)) {
    add(aer + 0x04, 4);
    add(aer + 0x10, 4);
    add(aer + 0x1C, 16);
    add(aer + 0x30, 8);
  }
  return owned;
}

// Offsets where two accounts of a function differ, split by whether the hardware owns them.
struct Differences {
  std::vector<int> owned, other;
  Differences(const LspciFunction &a, const LspciFunction &b) {
    const std::set<int> hardware = HardwareOwned(a);
    for (int i = 0; i < 4096; ++i)
      if (a.bytes[i] != b.bytes[i]) (hardware.count(i) ? owned : other).push_back(i);
  }
};

std::string Offsets(const std::vector<int> &offsets) {
  std::string text;
  char hex[8];
  for (int at : offsets) {
    std::snprintf(hex, sizeof hex, " %03x", at);
    text += hex;
  }
  return text;
}

// The run was started by root for the user kv, as sudo starts it: it ran as kv, with no capability, with
// the config files that root opened (the register view shows all 4096 bytes of a PCI Express function,
// which kv could not read), under a descriptor limit that root raised for them, and wrote as kv.
TEST(VmSlots, RanAsTheUserOfSudoWithTheFunctionsRootOpened) {
  KV_REQUIRE_GUEST();
  const Step step = ReadStep();
  std::map<std::string, std::string> status;
  for (const std::string &line : kvtest::Lines(kvvm::StepFile("slots", "status.txt"))) {
    const size_t colon = line.find(':');
    if (colon != std::string::npos) status[line.substr(0, colon)] = line.substr(line.find_first_not_of(" \t", colon + 1));
  }
  for (const auto &[field, value] : std::map<std::string, std::string>{
           {"Uid", "1000\t1000\t1000\t1000"}, {"Gid", "1000\t1000\t1000\t1000"}, {"Groups", "1000 "},
           {"CapInh", "0000000000000000"}, {"CapPrm", "0000000000000000"}, {"CapEff", "0000000000000000"},
           {"CapBnd", "0000000000000000"}, {"CapAmb", "0000000000000000"}, {"NoNewPrivs", "1"}})
    EXPECT_EQ(status[field], value) << field;
  EXPECT_EQ(kvvm::StepFile("slots", "owners.txt"), "dump.jsonl kv\ntrace.txt kv\n/tmp/kelvorant-scm-1000 kv\n");
  std::smatch limit;
  const std::string limits = kvvm::StepFile("slots", "limits.txt");
  ASSERT_TRUE(std::regex_search(limits, limit, std::regex("Max open files +([0-9]+)"))) << limits;
  EXPECT_GT(std::stoi(limit[1]), 20) << "the limit of 20 that the step set was not raised for the functions";

  // The register view at the first dump shows the last function saved, the root port.
  const Saved port = SavedFunctions().back();
  ASSERT_TRUE(IsRootPort(port));
  const LspciFunction *atSave = kvvm::Find(step.saved, port.address);
  ASSERT_TRUE(atSave && !step.dumps.empty());
  ASSERT_EQ(kvvm::Printed(*atSave).size(), 4096u) << "lspci as root printed the whole extended space";
  EXPECT_EQ(kvtest::Shown(step.dumps[0]), kvtest::ExpectedView(*atSave));
}

TEST(VmSlots, ReloadGivesEveryFunctionItsSavedImageBack) {
  KV_REQUIRE_GUEST();
  const Step step = ReadStep();
  const auto saved = SavedFunctions();
  EXPECT_EQ(step.boxes, std::vector<Json>{}) << "no Save and no Reload may fail";
  ASSERT_EQ(step.dumps.size(), 6u);

  for (const Saved &s : saved) {
    SCOPED_TRACE(s.address + " in slot " + std::to_string(s.slot));
    const LspciFunction *atSave = kvvm::Find(step.saved, s.address);
    const LspciFunction *lost = BeforeReload(step, s);
    const LspciFunction *restored = kvvm::Find(step.restored, s.address);
    ASSERT_TRUE(atSave && lost && restored);
    // Its slot's edit names it as bus:device:function in hexadecimal.
    const char *edits[] = {"1004", "1018", "1019", "1020", "1021"};
    char name[16];
    std::snprintf(name, sizeof name, "%X:%X:%X", atSave->key >> 16, (atSave->key >> 8) & 0xFF, atSave->key & 0xFF);
    EXPECT_EQ(step.dumps[0]["edits"][edits[s.slot - 1]], name);
    EXPECT_FALSE(Differences(*atSave, *lost).other.empty()) << "the function did not lose its settings";
    const Differences after(*atSave, *restored);
    EXPECT_EQ(Offsets(after.other), "") << "bytes that differ from the saved image after the Reload";
    if (!after.owned.empty())
      std::printf("%s: hardware-owned bytes changed:%s\n", s.address.c_str(), Offsets(after.owned).c_str());

    // Its Reload's dump: the row of the function selected, the view read back from the function.
    size_t turn = 0;
    while (turn < 5 && kReloadOrder[turn] != s.slot) ++turn;
    ASSERT_LT(turn, 5u);
    const Json &dump = step.dumps[turn + 1];
    const Json &row = dump["lists"]["1000"]["rows"][dump["lists"]["1000"]["mark"].get<size_t>()];
    EXPECT_EQ(row["data"], restored->key);
    EXPECT_EQ(kvtest::Shown(dump), kvtest::ExpectedView(*restored));
  }

  // Nothing else changed: every function of the machine ends as it was at the Save.
  for (const LspciFunction &f : step.saved) {
    const LspciFunction *end = kvvm::Find(step.restored, kvvm::Address(f));
    ASSERT_NE(end, nullptr) << kvvm::Address(f);
    EXPECT_EQ(Offsets(Differences(f, *end).other), "") << kvvm::Address(f);
  }
  EXPECT_EQ(step.saved.size(), step.restored.size());
}

// The register of each function behind a BAR (slots.sh names them) answers through its resource file at
// the Save and after the Reload, and not while the settings are lost.
TEST(VmSlots, BarsDecodeAgainAfterReload) {
  KV_REQUIRE_GUEST();
  auto read = [](const char *name) {
    std::map<std::string, std::string> values;
    std::istringstream in(kvvm::StepFile("slots", name));
    for (std::string address, value; in >> address >> value;) values[address] = value;
    return values;
  };
  const auto atSave = read("bars-saved.txt"), lost = read("bars-lost.txt"), restored = read("bars-restored.txt");
  ASSERT_EQ(atSave.size(), 4u);
  for (const auto &[address, value] : atSave) {
    SCOPED_TRACE(address);
    EXPECT_NE(value, "none");
    EXPECT_NE(value, "ffffffff");
    EXPECT_NE(lost.at(address), value) << "the BAR still decodes after the loss";
    EXPECT_EQ(restored.at(address), value);
  }
}

// The kernel logs nothing at error level while the settings are lost and reloaded, nor anywhere between
// the guest's start and its last step.
TEST(VmSlots, KernelLogHasNoNewError) {
  KV_REQUIRE_GUEST();
  const auto added = kvvm::NewKernelLines(kvvm::StepFile("slots", "dmesg-before.txt"),
                                          kvvm::StepFile("slots", "dmesg-after.txt"));
  for (const std::string &line : added) std::printf("new kernel message: %s\n", line.c_str());
  EXPECT_EQ(kvvm::Errors(added), std::vector<std::string>{});
  const std::string results = (kvvm::GuestDir() / "results").string();
  const auto sinceBoot = kvvm::NewKernelLines(kvtest::ReadText(results + "/dmesg-boot.txt"),
                                              kvtest::ReadText(results + "/dmesg-end.txt"));
  EXPECT_EQ(kvvm::Errors(sinceBoot), std::vector<std::string>{});
}

// The root port above the PCIe-to-PCI bridge lost its bus numbers and windows: the bridge and the device
// behind it stopped answering, and answer again after the port's Reload.
TEST(VmSlots, BridgeReloadBringsBackTheFunctionsBehindIt) {
  KV_REQUIRE_GUEST();
  const Step step = ReadStep();
  const auto saved = SavedFunctions();
  ASSERT_EQ(saved.size(), 5u);
  const std::string port = saved[4].address, device = saved[3].address;
  ASSERT_TRUE(IsRootPort(saved[4])) << kPort;
  const LspciFunction *portAtSave = kvvm::Find(step.saved, port);
  ASSERT_NE(portAtSave, nullptr);
  const unsigned secondary = kvtest::Byte(*portAtSave, 0x19), subordinate = kvtest::Byte(*portAtSave, 0x1A);
  ASSERT_LT(secondary, subordinate) << "the port should lead to the bridge and the bus behind it";

  size_t behind = 0;
  for (const LspciFunction &f : step.saved) {
    const unsigned bus = f.key >> 16;
    if (bus < secondary || bus > subordinate) continue;
    ++behind;
    SCOPED_TRACE(kvvm::Address(f));
    const LspciFunction *cut = kvvm::Find(step.cut, kvvm::Address(f));
    if (cut) {
      EXPECT_EQ(kvtest::Byte(*cut, 0) & kvtest::Byte(*cut, 1), 0xFFu) << "it still answers";
    }
    const LspciFunction *lost = kvvm::Find(step.lost, kvvm::Address(f));
    const LspciFunction *restored = kvvm::Find(step.restored, kvvm::Address(f));
    ASSERT_TRUE(lost && restored);
    // The IDs as the function answers them (lspci's title line gives the kernel's copy).
    auto ids = [](const LspciFunction &g) {
      return std::vector<unsigned>{kvtest::Byte(g, 0), kvtest::Byte(g, 1), kvtest::Byte(g, 2), kvtest::Byte(g, 3)};
    };
    EXPECT_NE(ids(f), std::vector<unsigned>(4, 0xFF));
    EXPECT_EQ(ids(*lost), ids(f)) << "it did not answer before the port was cut off";
    EXPECT_EQ(ids(*restored), ids(f)) << "it does not answer again";
  }
  EXPECT_EQ(behind, 2u);
  const std::string edu = kvvm::StepFile("slots", "bars-cut.txt");
  EXPECT_EQ(edu.find(device + " 010000ed"), std::string::npos) << "the device's BAR answers behind a cut port";
  EXPECT_NE(kvvm::StepFile("slots", "bars-restored.txt").find(device + " 010000ed"), std::string::npos);
}

// QEMU's trace of configuration writes between the step's marks: for each function, in the order of the
// Reloads, the registers that differed from the saved image and nothing else, with the saved values; the
// header's from the highest offset down with the command register last, then the extended space's from
// the highest down; never an identification register.
struct Write {
  std::string address;
  unsigned offset, value;
  bool operator==(const Write &) const = default;
};

std::string Text(const std::vector<Write> &writes) {
  std::string text;
  char line[64];
  for (const Write &w : writes) {
    std::snprintf(line, sizeof line, "%s @%03x <- %x\n", w.address.c_str(), w.offset, w.value);
    text += line;
  }
  return text;
}

std::vector<Write> TracedWrites() {
  std::vector<Write> writes;
  const std::regex write(R"(^pci_cfg_write \S+ ([0-9a-f]{2}:[0-9a-f]{2}\.[0-7]) @0x([0-9a-f]+) <- 0x([0-9a-f]+)$)");
  bool inside = false;
  for (const std::string &line : kvtest::Lines(kvtest::ReadText(kvvm::GuestDir() / "qemu-trace.log"))) {
    if (line.find("00:00.0 @0x8 <- 0xa1") != std::string::npos) {
      inside = true;
    } else if (line.find("00:00.0 @0x8 <- 0xa2") != std::string::npos) {
      return writes;
    } else if (std::smatch m; inside && std::regex_match(line, m, write)) {
      writes.push_back({"0000:" + m[1].str(), static_cast<unsigned>(std::stoul(m[2], nullptr, 16)),
                        static_cast<unsigned>(std::stoul(m[3], nullptr, 16))});
    }
  }
  ADD_FAILURE() << "the trace has no pair of marks";
  return {};
}

// The writes a function needs: each register that differs, the command register, cache line size and latency
// and a bridge's I/O base and limit alone, never the IDs and the revision and class.
std::vector<Write> NeededWrites(const LspciFunction &want, const LspciFunction &present) {
  std::vector<Write> header, extended;
  const bool bridge = (kvtest::Byte(want, 0x0E) & 0x7F) == 1;
  const int size = static_cast<int>(std::min(kvvm::Printed(want).size(), kvvm::Printed(present).size()));
  for (int dword = size - 4; dword >= 0; dword -= 4) {
    if (dword == 0x00 || dword == 0x08) continue;
    const int width = dword == 0x04 || dword == 0x0C || (bridge && dword == 0x1C) ? 2 : 4;
    unsigned value = 0;
    bool differs = false;
    for (int i = width - 1; i >= 0; --i) {
      value = value << 8 | kvtest::Byte(want, dword + i);
      differs = differs || want.bytes[dword + i] != present.bytes[dword + i];
    }
    if (differs) (dword < 0x100 ? header : extended).push_back({kvvm::Address(want), unsigned(dword), value});
  }
  header.insert(header.end(), extended.begin(), extended.end());
  return header;
}

TEST(VmSlots, ReloadWritesOnlyDifferingRegistersHighestFirstCommandLast) {
  KV_REQUIRE_GUEST();
  const Step step = ReadStep();
  const auto saved = SavedFunctions();
  std::vector<Write> expected;
  for (int slot : kReloadOrder) {
    for (const Saved &s : saved) {
      if (s.slot != slot) continue;
      const LspciFunction *want = kvvm::Find(step.saved, s.address);
      const LspciFunction *present = BeforeReload(step, s);
      ASSERT_TRUE(want && present) << s.address;
      const auto needed = NeededWrites(*want, *present);
      ASSERT_FALSE(needed.empty()) << s.address;
      expected.insert(expected.end(), needed.begin(), needed.end());
    }
  }
  const std::vector<Write> traced = TracedWrites();
  EXPECT_EQ(Text(traced), Text(expected));

  // The same rules said directly of what the device saw, for a clearer message when they are broken.
  for (size_t i = 0; i < traced.size(); ++i) {
    const Write &w = traced[i];
    EXPECT_TRUE(w.offset != 0x00 && w.offset != 0x08) << "an identification register written: " << Text({w});
    if (i + 1 < traced.size() && traced[i + 1].address == w.address && traced[i + 1].offset < 0x100) {
      EXPECT_GT(w.offset, traced[i + 1].offset) << "not from the highest offset down: " << Text({w, traced[i + 1]});
      EXPECT_NE(w.offset, 0x04u) << "a header register after the command register: " << Text({w, traced[i + 1]});
    }
  }
}

}  // namespace
