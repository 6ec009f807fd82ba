// The register view as a user meets it: the first function right after start-up; a click on another row reads
// it once (twice for PCI Express) and a second click not at all; failing reads leave the view empty and are not
// retried; "Rescan bus" after row 0 was shown reads nothing; arrow keys move the view. Every run's trace is
// compared whole with the requests that the machine file implies.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "driver_model.h"
#include "harness.h"

namespace {

using kvtest::DriverModel;
using kvtest::Sandbox;
using Json = nlohmann::ordered_json;

using kvtest::kNoService;
const char kMachine[] = "view-registers.json";

// The device-list rows of view-registers.json.
struct Function {
  uint32_t key;
  bool pciExpress;
  const char *vendor, *device;
  size_t viewRows;  // header rows + 12 dump rows (+ 240 extended)
};
const Function kFunctions[] = {
    {0x000000, false, "8086", "102E", 27 + 12},       // general device, header type 80h
    {0x000100, true, "8086", "10D3", 27 + 12 + 240},  // PCI Express endpoint
    {0x000200, false, "8086", "1010", 27 + 12},       // PCI-X capability before PCI Express
    {0x000300, true, "8086", "3408", 33 + 12 + 240},  // PCI Express root port
    {0x000400, false, "1217", "7136", 29 + 12},       // CardBus bridge
    {0x000500, false, "1234", "0003", 10 + 15},       // header type 3: common rows, dump from 10h
    {0x001000, false, "8086", "1500", 0},             // faults on the register view's reads, see below
    {0x001100, false, "8086", "1501", 0},
    {0x001200, false, "8086", "1502", 0},
    {0x001300, false, "8086", "1503", 0},
    {0x001400, true, "8086", "1504", 0},
    {0x001500, true, "8086", "1505", 0},
    {0x001600, true, "8086", "1506", 0},
    {0x001700, true, "8086", "1507", 0},
    {0x010000, false, "10EC", "8168", 27 + 12},  // behind the root port, the last row
};
const int kLastRow = 14;

std::string MachinePath() { return (kvtest::DataDir() / "machines" / kMachine).string(); }

// The trace of start-up: the scan, then row 0 shown.
std::vector<std::string> StartUp(DriverModel &driver) {
  std::vector<std::string> trace = driver.Scan();
  kvtest::Append(trace, driver.Show(kFunctions[0].key, false));
  return trace;
}

const Json &RegisterRows(const Json &dump) { return dump["lists"]["1002"]["rows"]; }

// Label and value of every row.
std::vector<std::pair<std::string, std::string>> Cells(const Json &rows) {
  std::vector<std::pair<std::string, std::string>> cells;
  for (const Json &row : rows) cells.emplace_back(row["cells"][0], row["cells"][1]);
  return cells;
}

// The view shows the function: its size, its IDs, and dump labels that end where its image ends.
void ExpectShows(const Json &dump, const Function &f) {
  const Json &rows = RegisterRows(dump);
  ASSERT_EQ(rows.size(), f.viewRows);
  EXPECT_EQ(rows[0]["cells"], Json({"Vendor ID", f.vendor}));
  EXPECT_EQ(rows[1]["cells"], Json({"Device ID", f.device}));
  EXPECT_EQ(rows.back()["cells"][0], f.pciExpress ? "Device Specific [FF0]" : "Device Specific [F0]");
}

TEST(RegisterView, FirstFunctionIsShownRightAfterStartUp) {
  Sandbox box;
  auto result = box.Run(MachinePath(), "dump\n");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, kNoService);
  DriverModel driver(kvtest::ReadMachineFile(kMachine));
  EXPECT_EQ(result.trace, StartUp(driver));

  auto dumps = result.Dumps();
  ASSERT_EQ(dumps.size(), 1u);
  // 00:00.0's header has bytes of its own in every register: multi-byte ones read little-endian, the three
  // reserved bytes 11 22 33 in address order, the dump in address order. Every row of every capture is
  // compared with lspci in lspci_agreement_test.cpp; these pin the byte order on distinct bytes.
  const auto cells = Cells(RegisterRows(dumps[0]));
  ASSERT_EQ(cells.size(), 39u);
  const std::vector<std::pair<size_t, std::pair<std::string, std::string>>> expected = {
      {2, {"Command", "0407"}},
      {5, {"Class Code", "010601"}},
      {12, {"BAR2", "12345678"}},
      {21, {"Reserved1", "112233"}},
      {22, {"Reserved2", "DDCCBBAA"}},
      {27, {"Device Specific [40]", "015003C8 08000000 00000000 00000000"}},
      {38, {"Device Specific [F0]", "F0F1F2F3 F4F5F6F7 F8F9FAFB FCFDFEFF"}},
  };
  for (const auto &[row, labelValue] : expected) EXPECT_EQ(cells[row], labelValue) << "row " << row;
  // Fitted to the labels before the values came: "Capabilities Pointer" + 12; the rest of the 372-pixel client
  // width beside the vertical scroll bar that 27 label rows need.
  EXPECT_EQ(dumps[0]["lists"]["1002"]["widths"], Json({132, 223}));
}

TEST(RegisterView, ClickReadsTheRowOnceAndASecondClickNothing) {
  const int rows[] = {1, 2, 3, 4, 5, kLastRow, 0};
  std::string script;
  for (int row : rows)
    script +=
        "click-row 1000 " + std::to_string(row) + "\ndump\n" + "click-row 1000 " + std::to_string(row) + "\ndump\n";
  Sandbox box;
  auto result = box.Run(MachinePath(), script);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, kNoService);

  DriverModel driver(kvtest::ReadMachineFile(kMachine));
  std::vector<std::string> expected = StartUp(driver);
  for (int row : rows) kvtest::Append(expected, driver.Show(kFunctions[row].key, kFunctions[row].pciExpress));
  EXPECT_EQ(result.trace, expected) << "one request a click, two for PCI Express; none for the second click";

  auto dumps = result.Dumps();
  ASSERT_EQ(dumps.size(), 2 * std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE("row " + std::to_string(rows[i]));
    ExpectShows(dumps[2 * i], kFunctions[rows[i]]);
    EXPECT_EQ(dumps[2 * i]["lists"]["1000"]["mark"], rows[i]);
    EXPECT_EQ(dumps[2 * i + 1]["lists"]["1002"], dumps[2 * i]["lists"]["1002"]) << "the second click changes nothing";
  }
}

TEST(RegisterView, FailedReadLeavesTheViewEmptyAndIsNotRetried) {
  // Each of these functions has a fault rule that hits the register view's first read of it.
  const struct {
    int row;
    const char *what;
    const char *message;  // standard output; \d+ where the code is the last error of an earlier call
  } cases[] = {
      {6, "IOCTL_READ_CONFIG fails with 31", "Error in DeviceIoControl : 31"},
      {7, "IOCTL_READ_CONFIG returns 100 bytes", "Error in DeviceIoControl : \\d+"},
      {8, "IOCTL_READ_CONFIG answers status 0", ""},
      {9, "IOCTL_READ_CONFIG answers status 2", ""},
      {10, "IOCTL_READ_EXT_CONFIG fails with 31", "Error in DeviceIoControl : 31"},
      {11, "IOCTL_READ_EXT_CONFIG returns 3000 bytes", "Error in DeviceIoControl : \\d+"},
      {12, "IOCTL_READ_EXT_CONFIG answers status 2", ""},
      {13, "IOCTL_READ_EXT_CONFIG answers status 1", ""},
  };
  // Before each failing row a good one is shown, so that an empty list means the view was cleared.
  std::string script;
  for (const auto &c : cases)
    script += "click-row 1000 " + std::to_string(kLastRow) + "\ndump\n" + "click-row 1000 " + std::to_string(c.row) +
              "\ndump\nclick-row 1000 " + std::to_string(c.row) + "\ndump\n";
  Sandbox box;
  auto result = box.Run(MachinePath(), script);
  EXPECT_EQ(result.exitCode, 0) << result.err;

  std::string out = kNoService;
  for (const auto &c : cases) out += c.message;
  EXPECT_TRUE(std::regex_match(result.out, std::regex(out))) << result.out;

  DriverModel driver(kvtest::ReadMachineFile(kMachine));
  std::vector<std::string> expected = StartUp(driver);
  for (const auto &c : cases) {
    kvtest::Append(expected, driver.Show(kFunctions[kLastRow].key, false));
    kvtest::Append(expected, driver.Show(kFunctions[c.row].key, kFunctions[c.row].pciExpress));
  }
  EXPECT_EQ(result.trace, expected) << "the repeated click sends nothing";

  auto dumps = result.Dumps();
  ASSERT_EQ(dumps.size(), 3 * std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    ExpectShows(dumps[3 * i], kFunctions[kLastRow]);
    EXPECT_EQ(RegisterRows(dumps[3 * i + 1]), Json::array());
    EXPECT_EQ(RegisterRows(dumps[3 * i + 2]), Json::array());
    EXPECT_EQ(dumps[3 * i + 2]["lists"]["1000"]["mark"], cases[i].row);
  }
}

TEST(RegisterView, RescanAfterRowZeroWasShownReadsNothing) {
  // Row 0 names 00:00.0, then (unplugged) 00:01.0, then 00:00.0 again after a rescan from another row. The
  // fault rules would hit the second scan's probes: they are left out.
  Json machine = kvtest::ReadMachineFile(kMachine);
  machine.erase("faults");
  const char script[] =
      "dump\n"
      "click 1001\ndump\n"
      "machine unplug 00:00.0\nclick 1001\ndump\n"
      "machine plug 00:00.0\nclick-row 1000 3\nclick 1001\ndump\n";
  Sandbox box;
  auto result = box.Run(box.Write("machine.json", machine.dump()).string(), script);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, kNoService);

  DriverModel driver(machine);
  std::vector<std::string> expected = StartUp(driver);
  kvtest::Append(expected, driver.Scan());
  driver.SetPlugged(0x000000, false);
  kvtest::Append(expected, driver.Scan());
  driver.SetPlugged(0x000000, true);
  kvtest::Append(expected, driver.Show(0x000400, false));  // row 3 of the list without 00:00.0
  kvtest::Append(expected, driver.Scan());
  kvtest::Append(expected, driver.Show(0x000000, false));  // row 3 was shown last, so row 0 is read
  EXPECT_EQ(result.trace, expected);

  auto dumps = result.Dumps();
  ASSERT_EQ(dumps.size(), 4u);
  const Json &shown = dumps[0]["lists"]["1002"];
  ExpectShows(dumps[0], kFunctions[0]);
  EXPECT_EQ(dumps[1]["lists"]["1002"], shown);
  EXPECT_EQ(dumps[2]["lists"]["1000"]["rows"][0]["data"], 0x000100);
  EXPECT_EQ(dumps[2]["lists"]["1000"]["rows"].size(), std::size(kFunctions) - 1);
  EXPECT_EQ(dumps[2]["lists"]["1002"], shown) << "the view still shows 00:00.0 while row 0 names 00:01.0";
  EXPECT_EQ(dumps[3]["lists"]["1000"]["rows"][0]["data"], 0x000000);
  EXPECT_EQ(dumps[3]["lists"]["1002"]["rows"], shown["rows"]);
}

TEST(RegisterView, ArrowKeysMoveTheView) {
  const struct {
    const char *key;
    int row;     // marked, selected and shown afterwards
    bool reads;  // whether the key moved the mark
  } steps[] = {
      {"Down", 1, true},          // PCI Express: two requests
      {"Down", 2, true},          // PCI-X: one
      {"Up", 1, true},            // back to a row shown before: read again
      {"End", kLastRow, true},    //
      {"Down", kLastRow, false},  // nothing below the last row
      {"Home", 0, true},          //
      {"Up", 0, false},           // nothing above row 0
  };
  std::string script = "focus 1000\n";
  for (const auto &s : steps) script += std::string("key ") + s.key + "\ndump\n";
  Sandbox box;
  auto result = box.Run(MachinePath(), script);
  EXPECT_EQ(result.exitCode, 0) << result.err;

  DriverModel driver(kvtest::ReadMachineFile(kMachine));
  std::vector<std::string> expected = StartUp(driver);
  for (const auto &s : steps)
    if (s.reads) kvtest::Append(expected, driver.Show(kFunctions[s.row].key, kFunctions[s.row].pciExpress));
  EXPECT_EQ(result.trace, expected);

  auto dumps = result.Dumps();
  ASSERT_EQ(dumps.size(), std::size(steps));
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(std::to_string(i) + ": key " + steps[i].key);
    const Json &list = dumps[i]["lists"]["1000"];
    EXPECT_EQ(list["mark"], steps[i].row);
    for (size_t row = 0; row < list["rows"].size(); ++row)
      EXPECT_EQ(list["rows"][row]["state"], int(row) == steps[i].row ? 3 : 0) << "row " << row;
    ExpectShows(dumps[i], kFunctions[steps[i].row]);
    EXPECT_EQ(dumps[i]["focus"], 1000);
  }
}

}  // namespace
