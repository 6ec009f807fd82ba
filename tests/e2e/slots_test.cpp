// The configuration slots as a user meets them, headless on the simulated machine slots-machine.json: what a
// reload brings back after the device lost its settings, the requests each button sends, every way a save or
// a reload fails, and slots whose device-list row went away or moved.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "harness.h"

namespace {

using kvtest::RunResult;
using kvtest::Sandbox;
using Json = nlohmann::ordered_json;
using Lines = std::vector<std::string>;

using kvtest::kNoService;

// A function of slots-machine.json: its address, its device-list row after the first scan, whether its
// capability list makes it PCI Express, and the text of a slot's edit that holds it.
struct Fn {
  const char *address;
  int row;
  bool pcie;
  const char *text;
};
const Fn kHost{"00:00.0", 0, false, "0:0:0"};
const Fn kPlain{"00:02.0", 2, false, "0:2:0"};       // conventional PCI, status error bits set
const Fn kLastOf1f{"00:1f.7", 10, false, "0:1F:7"};  // function 7 of a device with all eight
const Fn kFpga{"01:00.0", 11, true, "1:0:0"};        // PCI Express with extended capabilities
const Fn kPcixFirst{"02:00.0", 12, false, "2:0:0"};  // a PCI-X capability before its PCI Express one
const Fn kComm{"10:0a.0", 13, false, "10:A:0"};

std::string MachineFile() { return (kvtest::DataDir() / "machines" / "slots-machine.json").string(); }

// The machine file with fault rules, written into the sandbox.
std::string WithFaults(const Sandbox &box, const Json &faults) {
  Json machine = Json::parse(kvtest::ReadText(MachineFile()));
  machine["faults"] = faults;
  return box.Write("faults.json", machine.dump()).string();
}

// Script lines.
std::string ClickRow(int row) { return "click-row 1000 " + std::to_string(row) + "\n"; }
std::string Save(int slot) { return "click " + std::to_string(1013 + slot) + "\n"; }
std::string Reload(int slot) { return "click " + std::to_string(1008 + slot) + "\n"; }
std::string Machine(const std::string &command, const Fn &fn) { return "machine " + command + " " + fn.address + "\n"; }
const char kRescan[] = "click 1001\n";
const char kDump[] = "dump\n";
std::string EditOf(int slot) { return std::to_string(slot == 0 ? 1004 : 1017 + slot); }

// Trace lines of requests that succeed.
std::string Read(const Fn &fn) { return std::string("IOCTL_READ_CONFIG ") + fn.address + " status=1 returned=272"; }
std::string ReadExt(const Fn &fn) { return std::string("IOCTL_READ_EXT_CONFIG ") + fn.address + " status=0 returned=3856"; }
std::string Write(const Fn &fn) { return std::string("IOCTL_WRITE_CONFIG ") + fn.address + " status=1 returned=272"; }
std::string WriteExt(const Fn &fn) { return std::string("IOCTL_WRITE_EXT_CONFIG ") + fn.address + " status=0 returned=3856"; }
// What a save and the register view send for a function, and what a reload sends.
Lines ReadAll(const Fn &fn) { return fn.pcie ? Lines{Read(fn), ReadExt(fn)} : Lines{Read(fn)}; }
Lines WriteAll(const Fn &fn) { return fn.pcie ? Lines{Write(fn), WriteExt(fn)} : Lines{Write(fn)}; }

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines &part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::string MessageBox(const char *text) {
  return Json{{"messageBox", {{"caption", "kelvorant"}, {"text", text}, {"type", 0}}}}.dump();
}

struct Session {
  RunResult result;
  Lines actions;  // the requests that the script's actions caused
};

// What a machine sends from start-up to the first action: the scan and the first register view.
Lines StartupTrace(const std::string &machine) {
  Sandbox box;
  return box.Run(machine, "").trace;
}

// The same for slots-machine.json, and for it with fault rules that let the start-up's requests pass.
const Lines &SlotsMachineStartup() {
  static const Lines startup = StartupTrace(MachineFile());
  return startup;
}

// Runs the script. The requests of start-up are left out of the actions.
Session RunScript(const Sandbox &box, const std::string &machine, const std::string &script,
                  const Lines &startup = SlotsMachineStartup()) {
  Session session{box.Run(machine, script), {}};
  const Lines &trace = session.result.trace;
  EXPECT_EQ(session.result.exitCode, 0) << session.result.err;
  EXPECT_TRUE(trace.size() >= startup.size() && std::equal(startup.begin(), startup.end(), trace.begin()));
  if (trace.size() >= startup.size())
    session.actions.assign(trace.begin() + static_cast<std::ptrdiff_t>(startup.size()), trace.end());
  return session;
}

Lines MessageBoxLines(const RunResult &result) {
  Lines boxes;
  for (const Json &line : result.lines)
    if (line.contains("messageBox")) boxes.push_back(line.dump());
  return boxes;
}

// The register list of a dump as (label, value) rows.
std::vector<std::pair<std::string, std::string>> Registers(const Json &dump) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const Json &row : dump["lists"]["1002"]["rows"]) rows.emplace_back(row["cells"][0], row["cells"][1]);
  return rows;
}

std::string Register(const Json &dump, const std::string &label) {
  for (const auto &[name, value] : Registers(dump))
    if (name == label) return value;
  return "(no row " + label + ")";
}

// The rows of the device list whose state is not 0, as row: state.
std::map<int, int> MarkedRows(const Json &dump) {
  std::map<int, int> rows;
  const Json &list = dump["lists"]["1000"]["rows"];
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]["state"] != 0) rows[static_cast<int>(i)] = list[i]["state"];
  return rows;
}

constexpr int kFocusedSelected = 3;

// Save, the device loses its settings (reset: every writable bit 0) and the hardware changes a read-only
// register, reload: the view shows the saved values where the masks let them be written, and the present
// values elsewhere.
TEST(Slots, ReloadAfterResetBringsBackWhatTheMasksAllow) {
  struct Kept {
    const char *label, *saved, *afterReload;
  };
  const struct {
    Fn fn;
    int slot;
    std::vector<const char *> clearedByReset;  // writable registers that the reset visibly changed
    std::vector<Kept> kept;                    // registers that a write cannot bring back
  } cases[] = {
      {kPlain, 0,
       {"Command", "BAR0", "BAR1", "BAR2", "Cache Line Size", "Latency Timer", "Interrupt Line",
        "Device Specific [40]", "Device Specific [E0]"},
       // Status: the reset cleared its error bits, and a Reload never writes the status register.
       {{"Status", "2290", "0290"}, {"Revision ID", "0B", "1B"}}},
      {kFpga, 1,
       {"Command", "BAR0", "BAR2", "BAR3", "Interrupt Line", "Device Specific [40]", "Device Specific [60]",
        "Device Specific [100]", "Device Specific [110]", "Device Specific [140]", "Device Specific [1F0]"},
       // Power management's control and status (the power state) and the PCI Express link status beside
       // its control register: a Reload leaves them as the device has them.
       {{"Device Specific [40]", "01480300 08000000 05608100 0000E0FE", "01480300 00000000 05608100 0000E0FE"},
        {"Device Specific [70]", "40004110 00000000 00000000 00000000", "40000000 00000000 00000000 00000000"},
        {"Revision ID", "00", "10"}}},
      {kPcixFirst, 2, {"Command", "BAR0", "Interrupt Line", "Device Specific [40]", "Device Specific [60]"},
       // The PCI-X status.
       {{"Device Specific [40]", "07600200 00020100 00000000 00000000", "07600200 00000000 00000000 00000000"},
        {"Revision ID", "10", "20"}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.fn.address);
    Sandbox box;
    const std::string poke = std::string("machine poke ") + c.fn.address + " 08 " + c.kept.back().afterReload + "\n";
    auto s = RunScript(box, MachineFile(),
                       ClickRow(c.fn.row) + kDump + Save(c.slot) + Machine("reset", c.fn) + poke + ClickRow(0) +
                           ClickRow(c.fn.row) + kDump + Reload(c.slot) + kDump);
    // One or two requests per save and per reload (a PCI-X capability met first means no extended space),
    // then the view reads the function back once: its row held the mark already.
    EXPECT_EQ(s.actions, Join({ReadAll(c.fn), ReadAll(c.fn), {Read(kHost)}, ReadAll(c.fn), WriteAll(c.fn),
                               ReadAll(c.fn)}));
    EXPECT_TRUE(s.result.lines.size() == 3 && MessageBoxLines(s.result).empty());
    EXPECT_EQ(s.result.out, kNoService);
    auto dumps = s.result.Dumps();
    ASSERT_EQ(dumps.size(), 3u);
    const Json &saved = dumps[0], &reset = dumps[1], &reloaded = dumps[2];
    ASSERT_EQ(Registers(reloaded).size(), Registers(saved).size());

    for (const char *label : c.clearedByReset) {
      EXPECT_NE(Register(reset, label), Register(saved, label)) << label << " should have changed in the reset";
    }
    for (const Kept &k : c.kept) {
      EXPECT_EQ(Register(saved, k.label), k.saved);
      EXPECT_EQ(Register(reloaded, k.label), k.afterReload) << k.label;
    }
    for (const auto &[label, value] : Registers(reloaded)) {
      // (label named in the capture: clang 14 cannot capture a structured binding)
      bool kept = std::any_of(c.kept.begin(), c.kept.end(),
                              [&label = label](const Kept &k) { return label == k.label; });
      if (!kept) {
        EXPECT_EQ(value, Register(saved, label)) << label;
      }
    }
    EXPECT_EQ(reloaded["edits"][EditOf(c.slot)], c.fn.text);
    EXPECT_EQ(MarkedRows(reloaded), (std::map<int, int>{{c.fn.row, kFocusedSelected}}));
    EXPECT_EQ(reloaded["lists"]["1000"]["mark"], c.fn.row);
  }
}

// Every failure of a save or a reload, made by one fault rule that hits the request of that operation.
// A Reload writes a simulated function as the HAL machine writes hardware, and the machine tells which
// registers it got (`machine writes`): only those that differ, from the highest offset down, so that the
// command register, which turns decoding on, comes last of the standard space; then the extended space, also
// from the top. Never the identification registers, the header type or the status.
TEST(Slots, AReloadWritesWhatDiffersFromTheTopDownAndTheCommandLast) {
  // Of the demo machine: the graphics controller, the PCI Express audio function, and a PCI Express
  // function whose extended space alone takes more than 512 characters to answer.
  const Lines startup = StartupTrace("demo");
  for (const Fn &fn : {Fn{"00:02.0", 1, false, "0:2:0"}, Fn{"00:1b.0", 5, true, "0:1B:0"},
                       Fn{"04:00.0", 11, true, "4:0:0"}}) {
    SCOPED_TRACE(fn.address);
    Sandbox box;
    auto s = RunScript(box, "demo",
                       ClickRow(fn.row) + Save(0) + Machine("reset", fn) + Machine("writes", fn) + Reload(0) +
                           Machine("writes", fn),
                       startup);
    std::vector<std::string> answers;
    for (const Json &line : s.result.lines)
      if (line.contains("machine")) answers.push_back(line["machine"]["answer"]);
    ASSERT_EQ(answers.size(), 2u) << s.result.err;
    EXPECT_EQ(answers[0], "none") << "a Save writes nothing";
    std::vector<std::pair<unsigned, unsigned>> writes;  // offset, width
    std::istringstream words(answers[1]);
    for (std::string word; words >> word;) {
      ASSERT_TRUE(std::regex_match(word, std::regex("[0-9a-f]{1,3}/[24]"))) << word << " of " << answers[1];
      writes.emplace_back(std::stoul(word, nullptr, 16), std::stoul(word.substr(word.find('/') + 1)));
    }
    const auto command = std::find(writes.begin(), writes.end(), std::make_pair(4u, 2u));
    ASSERT_NE(command, writes.end()) << answers[1];
    for (auto it = writes.begin(); it != writes.end(); ++it) {
      const bool standard = it <= command;
      EXPECT_EQ(it->first < 0x100, standard) << answers[1];
      EXPECT_TRUE(it->first != 0x00 && it->first != 0x08 && it->first != 0x06) << answers[1];
      if (it != writes.begin() && it != command + 1) {
        EXPECT_LT(it->first, (it - 1)->first) << answers[1];
      }
    }
    EXPECT_EQ(fn.pcie, command + 1 != writes.end()) << "extended space, after the standard space";
  }
}

TEST(Slots, EveryFailureOfASaveOrAReload) {
  const char *kSaveError = "SaveDevice:ERROR";
  const char *kReloadError = "ReloadDevice:Error";
  const struct {
    const char *what;
    Fn fn;
    const char *request;  // the rule's request kind
    int skip;             // requests of that kind at that address before the save's or the reload's
    Json effect;          // the rule's error, returned count or status
    const char *hit;      // the trace line of the request that the rule hits
    const char *box;      // the message, or null when the operation succeeds anyway
    bool diagnostic;      // whether "Error in DeviceIoControl : N" goes to standard output
  } cases[] = {
      // A save's standard read: the scan and the view read the function first.
      {"standard read fails", kPlain, "IOCTL_READ_CONFIG", 2, {{"error", 31}},
       "IOCTL_READ_CONFIG 00:02.0 error=31", kSaveError, true},
      {"standard read is short", kPlain, "IOCTL_READ_CONFIG", 2, {{"returned", 271}},
       "IOCTL_READ_CONFIG 00:02.0 status=1 returned=271", kSaveError, true},
      {"standard read status 0", kPlain, "IOCTL_READ_CONFIG", 2, {{"status", 0}},
       "IOCTL_READ_CONFIG 00:02.0 status=0 returned=272", kSaveError, false},
      {"standard read status 2", kPlain, "IOCTL_READ_CONFIG", 2, {{"status", 2}},
       "IOCTL_READ_CONFIG 00:02.0 status=2 returned=272", kSaveError, false},
      {"standard read status 3 saves", kPlain, "IOCTL_READ_CONFIG", 2, {{"status", 3}},
       "IOCTL_READ_CONFIG 00:02.0 status=3 returned=272", nullptr, false},
      {"standard read of a PCI Express function fails", kFpga, "IOCTL_READ_CONFIG", 2, {{"status", 2}},
       "IOCTL_READ_CONFIG 01:00.0 status=2 returned=272", kSaveError, false},
      // A save's extended read: the view read it first.
      {"extended read fails", kFpga, "IOCTL_READ_EXT_CONFIG", 1, {{"error", 1117}},
       "IOCTL_READ_EXT_CONFIG 01:00.0 error=1117", kSaveError, true},
      {"extended read is short", kFpga, "IOCTL_READ_EXT_CONFIG", 1, {{"returned", 3852}},
       "IOCTL_READ_EXT_CONFIG 01:00.0 status=0 returned=3852", kSaveError, true},
      {"extended read status 1", kFpga, "IOCTL_READ_EXT_CONFIG", 1, {{"status", 1}},
       "IOCTL_READ_EXT_CONFIG 01:00.0 status=1 returned=3856", kSaveError, false},
      // A reload's writes: the first of their kind.
      {"standard write fails", kPlain, "IOCTL_WRITE_CONFIG", 0, {{"error", 31}},
       "IOCTL_WRITE_CONFIG 00:02.0 error=31", kReloadError, true},
      {"standard write is short", kPlain, "IOCTL_WRITE_CONFIG", 0, {{"returned", 0}},
       "IOCTL_WRITE_CONFIG 00:02.0 status=1 returned=0", kReloadError, true},
      {"standard write status 0", kPlain, "IOCTL_WRITE_CONFIG", 0, {{"status", 0}},
       "IOCTL_WRITE_CONFIG 00:02.0 status=0 returned=272", kReloadError, false},
      {"standard write status 2", kPlain, "IOCTL_WRITE_CONFIG", 0, {{"status", 2}},
       "IOCTL_WRITE_CONFIG 00:02.0 status=2 returned=272", kReloadError, false},
      {"standard write status 3 reloads", kPlain, "IOCTL_WRITE_CONFIG", 0, {{"status", 3}},
       "IOCTL_WRITE_CONFIG 00:02.0 status=3 returned=272", nullptr, false},
      {"standard write of a PCI Express function fails: no extended write", kFpga, "IOCTL_WRITE_CONFIG", 0,
       {{"status", 2}}, "IOCTL_WRITE_CONFIG 01:00.0 status=2 returned=272", kReloadError, false},
      {"extended write fails", kFpga, "IOCTL_WRITE_EXT_CONFIG", 0, {{"error", 1117}},
       "IOCTL_WRITE_EXT_CONFIG 01:00.0 error=1117", kReloadError, true},
      {"extended write is short", kFpga, "IOCTL_WRITE_EXT_CONFIG", 0, {{"returned", 3855}},
       "IOCTL_WRITE_EXT_CONFIG 01:00.0 status=0 returned=3855", kReloadError, true},
      {"extended write status 1", kFpga, "IOCTL_WRITE_EXT_CONFIG", 0, {{"status", 1}},
       "IOCTL_WRITE_EXT_CONFIG 01:00.0 status=1 returned=3856", kReloadError, false},
  };
  int n = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    const int slot = n++ % 5;
    const bool succeeds = c.box == nullptr;
    const bool onSave = std::string(c.request).starts_with("IOCTL_READ");
    const bool standard = !std::string(c.request).ends_with("_EXT_CONFIG");
    Json rule = {{"address", c.fn.address}, {"request", c.request}, {"skip", c.skip}, {"times", 1}};
    rule.update(c.effect);
    Sandbox box;
    const std::string machine = WithFaults(box, Json::array({rule}));

    Session s;
    Lines expected;
    if (onSave) {
      // The slot holds another function first: a failed save empties it, and its Reload does nothing.
      s = RunScript(box, machine,
                    ClickRow(kComm.row) + Save(slot) + ClickRow(c.fn.row) + Save(slot) + kDump + Reload(slot) + kDump);
      Lines save = standard ? Lines{c.hit} : Lines{Read(c.fn), c.hit};
      if (succeeds && c.fn.pcie) save.push_back(ReadExt(c.fn));
      expected = Join({ReadAll(kComm), ReadAll(kComm), ReadAll(c.fn), save});
      if (succeeds) expected = Join({expected, WriteAll(c.fn), ReadAll(c.fn)});
    } else {
      // A failed reload leaves the slot, the selection and the view alone; the next reload writes the slot.
      s = RunScript(box, machine,
                    ClickRow(c.fn.row) + Save(slot) + Machine("reset", c.fn) + kDump + Reload(slot) + kDump +
                        Reload(slot) + kDump);
      Lines first = standard ? Lines{c.hit} : Lines{Write(c.fn), c.hit};
      if (succeeds) first = Join({first, c.fn.pcie ? Lines{WriteExt(c.fn)} : Lines{}, ReadAll(c.fn)});
      expected = Join({ReadAll(c.fn), ReadAll(c.fn), first, WriteAll(c.fn), ReadAll(c.fn)});
    }
    EXPECT_EQ(s.actions, expected);
    EXPECT_EQ(MessageBoxLines(s.result), succeeds ? Lines{} : Lines{MessageBox(c.box)});

    ASSERT_TRUE(s.result.out.starts_with(kNoService)) << s.result.out;
    const std::string diagnostic = s.result.out.substr(sizeof kNoService - 1);
    if (c.diagnostic) {
      EXPECT_TRUE(std::regex_match(diagnostic, std::regex("Error in DeviceIoControl : [0-9]+"))) << diagnostic;
      if (c.effect.contains("error")) {
        EXPECT_EQ(diagnostic, "Error in DeviceIoControl : " + c.effect["error"].dump());
      }
    } else {
      EXPECT_EQ(diagnostic, "");
    }

    auto dumps = s.result.Dumps();
    ASSERT_EQ(dumps.size(), onSave ? 2u : 3u);
    for (const Json &dump : dumps) {
      Json edits = {{"1004", ""}, {"1018", ""}, {"1019", ""}, {"1020", ""}, {"1021", ""}};
      edits[EditOf(slot)] = onSave && !succeeds ? "" : c.fn.text;
      EXPECT_EQ(dump["edits"], edits);
    }
    if (!succeeds) {
      EXPECT_EQ(dumps[1]["lists"], dumps[0]["lists"]) << "the selection and the view as they were";
    }
    EXPECT_EQ(MarkedRows(dumps.back()), (std::map<int, int>{{c.fn.row, kFocusedSelected}}));
  }
}

// A reload whose writes succeed but whose read-back fails leaves the register list empty, without a message.
TEST(Slots, FailedReadBackAfterAReloadLeavesTheViewEmpty) {
  const struct {
    Json effect;
    const char *hit, *out;
  } cases[] = {
      {{{"status", 2}}, "IOCTL_READ_CONFIG 00:02.0 status=2 returned=272", ""},
      {{{"error", 31}}, "IOCTL_READ_CONFIG 00:02.0 error=31", "Error in DeviceIoControl : 31"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.hit);
    Sandbox box;
    // The scan, the view and the save read first.
    Json rule = {{"address", kPlain.address}, {"request", "IOCTL_READ_CONFIG"}, {"skip", 3}, {"times", 1}};
    rule.update(c.effect);
    auto s = RunScript(box, WithFaults(box, Json::array({rule})), ClickRow(kPlain.row) + Save(0) + Reload(0) + kDump);
    EXPECT_EQ(s.actions, (Lines{Read(kPlain), Read(kPlain), Write(kPlain), c.hit}));
    EXPECT_EQ(s.result.out, kNoService + std::string(c.out));
    EXPECT_TRUE(MessageBoxLines(s.result).empty());
    auto dumps = s.result.Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    const Json &dump = dumps[0];
    EXPECT_TRUE(dump["lists"]["1002"]["rows"].empty());
    EXPECT_EQ(MarkedRows(dump), (std::map<int, int>{{kPlain.row, kFocusedSelected}}));
  }
}

TEST(Slots, ReloadOfASlotNeverSavedDoesNothing) {
  Sandbox box;
  auto s = RunScript(box, MachineFile(), Reload(0) + Reload(1) + Reload(2) + Reload(3) + Reload(4) + kDump);
  EXPECT_TRUE(s.actions.empty());
  EXPECT_TRUE(MessageBoxLines(s.result).empty());
  EXPECT_EQ(s.result.out, kNoService);
  ASSERT_EQ(s.result.Dumps().size(), 1u);
  EXPECT_EQ(s.result.Dumps()[0]["edits"], Json::parse(R"({"1004":"","1018":"","1019":"","1020":"","1021":""})"));
}

// The selection mark is -1 only while the device list is empty (a scan marks row 0, a click below the rows
// keeps the mark): then a Save does nothing at all.
TEST(Slots, SaveWithoutASelectionMarkDoesNothing) {
  Sandbox box;
  auto machine = box.Write("empty.json", R"({ "functions": [] })");
  auto s = RunScript(box, machine.string(),
                     Save(0) + Save(1) + Save(2) + Save(3) + Save(4) + Reload(0) + Reload(4) + kDump,
                     StartupTrace(machine.string()));
  EXPECT_TRUE(s.actions.empty());
  EXPECT_TRUE(MessageBoxLines(s.result).empty());
  EXPECT_EQ(s.result.out, kNoService);
  ASSERT_EQ(s.result.Dumps().size(), 1u);
  EXPECT_EQ(s.result.Dumps()[0]["lists"]["1000"]["mark"], -1);
  EXPECT_EQ(s.result.Dumps()[0]["edits"], Json::parse(R"({"1004":"","1018":"","1019":"","1020":"","1021":""})"));
}

// A click below the rows deselects but keeps the mark, and the keyboard moves it: Save follows the mark.
TEST(Slots, SaveTakesTheMarkedRowEvenWhenNoneIsSelected) {
  Sandbox box;
  auto s = RunScript(box, MachineFile(),
                     ClickRow(kPlain.row) + "click-empty 1000\n" + kDump + Save(0) + "focus 1000\nkey End\n" + Save(1) +
                         kDump);
  EXPECT_EQ(s.actions, (Lines{Read(kPlain), Read(kPlain), Read(kComm), Read(kComm)}));
  auto dumps = s.result.Dumps();
  ASSERT_EQ(dumps.size(), 2u);
  EXPECT_EQ(dumps[0]["lists"]["1000"]["mark"], kPlain.row);
  EXPECT_EQ(MarkedRows(dumps[0]), (std::map<int, int>{{kPlain.row, 1}})) << "focused, not selected";
  EXPECT_EQ(dumps[1]["edits"]["1004"], kPlain.text);
  EXPECT_EQ(dumps[1]["edits"]["1018"], kComm.text);
}

TEST(Slots, EditsNameTheirFunctionsAndSlotsKeepTheirOwnCopies) {
  Sandbox box;
  // Before any click the scan's mark on row 0 decides; the same function goes into slots 0 and 1, then
  // slot 1 takes another.
  auto s = RunScript(box, MachineFile(),
                     Save(4) + ClickRow(kPlain.row) + Save(0) + Save(1) + ClickRow(kFpga.row) + Save(1) +
                         ClickRow(kLastOf1f.row) + Save(2) + ClickRow(kComm.row) + Save(3) + kDump +
                         Machine("reset", kPlain) + Reload(0) + kDump);
  auto dumps = s.result.Dumps();
  ASSERT_EQ(dumps.size(), 2u);
  const Json edits = Json::parse(R"({"1004":"0:2:0","1018":"1:0:0","1019":"0:1F:7","1020":"10:A:0","1021":"0:0:0"})");
  EXPECT_EQ(dumps[0]["edits"], edits);
  EXPECT_EQ(dumps[1]["edits"], edits);
  // Slot 0 still held its copy of 00:02.0. The mark moves from the last clicked row to 00:02.0's, so the
  // view reads it on the selection's notification and once more after it.
  ASSERT_GE(s.actions.size(), 3u);
  EXPECT_EQ(Lines(s.actions.end() - 3, s.actions.end()), (Lines{Write(kPlain), Read(kPlain), Read(kPlain)}));
  EXPECT_EQ(MarkedRows(dumps[1]), (std::map<int, int>{{kPlain.row, kFocusedSelected}}));
  EXPECT_EQ(Register(dumps[1], "Command"), "0107");
  EXPECT_EQ(Register(dumps[1], "BAR0"), "FEBF0000");
  EXPECT_EQ(Register(dumps[1], "Interrupt Line"), "0B");
  EXPECT_TRUE(MessageBoxLines(s.result).empty());

  // Two copies of one function taken at different times: each reload writes its own.
  Sandbox again;
  s = RunScript(again, MachineFile(),
                ClickRow(kPlain.row) + Save(2) + Machine("reset", kPlain) + Save(3) + Reload(2) + kDump + Reload(3) +
                    kDump + Reload(2) + kDump);
  dumps = s.result.Dumps();
  ASSERT_EQ(dumps.size(), 3u);
  EXPECT_EQ(Register(dumps[0], "Command"), "0107");
  EXPECT_EQ(Register(dumps[1], "Command"), "0000");
  EXPECT_EQ(Register(dumps[2], "Command"), "0107");
}

TEST(Slots, ReloadAfterARescanThatLostTheRow) {
  Sandbox box;
  // Unplugged, rescanned and plugged again: the function answers but has no row. Row 5 holds the mark.
  auto s = RunScript(box, MachineFile(),
                     ClickRow(kPlain.row) + Save(0) + Machine("unplug", kPlain) + kRescan + Machine("plug", kPlain) +
                         ClickRow(5) + Machine("reset", kPlain) + kDump + Reload(0) + kDump);
  auto dumps = s.result.Dumps();
  ASSERT_EQ(dumps.size(), 2u);
  EXPECT_EQ(MarkedRows(dumps[0]), (std::map<int, int>{{5, kFocusedSelected}}));
  EXPECT_EQ(MarkedRows(dumps[1]), (std::map<int, int>{})) << "the marked row lost focus and selection";
  for (const Json &row : dumps[1]["lists"]["1000"]["rows"]) EXPECT_NE(row["data"], 0x200);
  // The view shows the saved address, read from the driver after the write.
  ASSERT_GE(s.actions.size(), 3u);
  EXPECT_EQ(Lines(s.actions.end() - 3, s.actions.end()),
            (Lines{"IOCTL_READ_CONFIG 00:1f.3 status=1 returned=272", Write(kPlain), Read(kPlain)}));
  EXPECT_EQ(Register(dumps[1], "Vendor ID"), "10B5");
  EXPECT_EQ(Register(dumps[1], "Command"), "0107");
  EXPECT_TRUE(MessageBoxLines(s.result).empty());
}

TEST(Slots, ReloadAfterARescanThatMovedTheRow) {
  Sandbox box;
  const Fn kDisplay{"00:01.0", 1, false, "0:1:0"};
  // 00:01.0 goes and comes back: 01:00.0 moves up a row and down again.
  auto s = RunScript(box, MachineFile(),
                     ClickRow(kFpga.row) + Save(2) + Machine("unplug", kDisplay) + kRescan + Reload(2) + kDump +
                         Machine("plug", kDisplay) + kRescan + Reload(2) + kDump);
  auto dumps = s.result.Dumps();
  ASSERT_EQ(dumps.size(), 2u);
  for (int i : {0, 1}) {
    const int row = kFpga.row - 1 + i;
    EXPECT_EQ(dumps[i]["lists"]["1000"]["rows"][row]["data"], 0x10000);
    EXPECT_EQ(dumps[i]["lists"]["1000"]["mark"], row);
    EXPECT_EQ(MarkedRows(dumps[i]), (std::map<int, int>{{row, kFocusedSelected}}));
  }
  // Each rescan shows row 0; each reload selects the moved row, whose notification reads the function before
  // the reload's own read-back.
  const Lines reload = Join({{Read(kHost)}, WriteAll(kFpga), ReadAll(kFpga), ReadAll(kFpga)});
  int reloads = 0;
  for (size_t i = 1; i + reload.size() - 1 <= s.actions.size(); ++i) {
    if (s.actions[i] != Write(kFpga)) continue;
    ++reloads;
    EXPECT_EQ(Lines(s.actions.begin() + i - 1, s.actions.begin() + i - 1 + reload.size()), reload);
  }
  EXPECT_EQ(reloads, 2);
  EXPECT_TRUE(MessageBoxLines(s.result).empty());
}

}  // namespace
