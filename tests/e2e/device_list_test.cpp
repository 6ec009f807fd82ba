// The device list as a user meets it: after the scan one row per function that answers, in scan order, with
// every cell and its item data; the scan's probes, compared whole with those that the machine file implies; a
// scan that a failing request ends; and the selection after "Rescan bus".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_model.h"
#include "harness.h"

namespace {

using kvtest::DriverModel;
using kvtest::Sandbox;
using Json = nlohmann::ordered_json;

using kvtest::kNoService;
const char kMachine[] = "view-scan.json";

// Every function of view-scan.json that the scan lists, in scan order. The file also holds functions that the
// scan never probes: 00:02.3 follows the absent 00:02.2, 00:03.1 the absent 00:03.0, 00:04.1 a function 0 that
// answers status 2 with Vendor ID FFFFh, and 00:05.1 a function 0 that answers status 2 with its real
// registers (the one "Error\n"), which is not listed either. 00:06.0 is absent but answers status 1.
struct Row {
  std::vector<std::string> cells;
  uint32_t key;
};
const Row kRows[] = {
    {{"Bridge device", "0", "0", "0", "060000", "8086", "2A00", ""}, 0x000000},
    {{"Bridge device", "0", "1", "0", "060400", "8086", "2A01", "PCI Express"}, 0x000100},
    {{"Display controller", "0", "2", "0", "030000", "10DE", "0A20", ""}, 0x000200},
    {{"Multimedia device", "0", "2", "1", "040300", "10DE", "0BE3", ""}, 0x000201},
    {{"Unknown", "0", "6", "0", "ffffff", "FFFF", "FFFF", ""}, 0x000600},
    {{"Serial ATA controller", "0", "7", "0", "010601", "8086", "3B29", ""}, 0x000700},
    {{"IDE controller", "0", "7", "1", "010185", "8086", "3B2E", ""}, 0x000701},
    {{"Mass storage controller", "0", "7", "2", "018000", "8086", "3B2F", ""}, 0x000702},
    {{"Serial bus controller", "0", "7", "3", "0c0330", "1B21", "1142", ""}, 0x000703},
    {{"Network controller", "0", "7", "4", "020000", "8086", "1010", ""}, 0x000704},  // PCI-X before PCI Express
    {{"Serial bus controller", "0", "7", "5", "0c0500", "8086", "3B30", ""}, 0x000705},
    {{"Unknown", "0", "7", "6", "120000", "1D0F", "EFA0", ""}, 0x000706},
    {{"Data acquisition and signal processing controller", "0", "7", "7", "118000", "10EE", "7021", ""}, 0x000707},
    {{"Network controller", "1", "0", "0", "020000", "8086", "10D3", "PCI Express"}, 0x010000},
    {{"Bridge device", "2", "0", "0", "060700", "1217", "7136", ""}, 0x020000},
    {{"Network controller", "16", "10", "0", "028000", "14E4", "4331", ""}, 0x100A00},
    {{"Base system peripheral", "255", "31", "0", "088000", "8086", "3A3E", ""}, 0xFF1F00},
};
const size_t kRowCount = sizeof kRows / sizeof kRows[0];

const Json kColumns = {"Type", "Bus#", "Dev#", "Func#", "Class", "VID", "DID", "Description"};
// Fitted: header + 11 or widest cell + 12 pixels (6 a character), whichever is more; the 49-character
// description makes "Type" 306. The 17 rows overflow the list, so "Description" takes what the vertical scroll
// bar leaves of the 619-pixel client width: 619 - 17 - 537.
const Json kFittedWidths = {306, 35, 35, 41, 48, 36, 36, 65};
// As the dialog inserted the columns (heading + 15) and a scan that failed left them.
const Json kInsertedWidths = {39, 39, 39, 45, 45, 33, 33, 81};

// The rows whose address comes before `end`, with row `selected` selected and focused.
Json Rows(uint32_t end = 0xFFFFFFFF, int selected = -1) {
  Json rows = Json::array();
  for (size_t i = 0; i < kRowCount && kRows[i].key < end; ++i)
    rows.push_back({{"cells", kRows[i].cells}, {"data", kRows[i].key}, {"state", int(i) == selected ? 3 : 0}});
  return rows;
}

Json DeviceList(const Json &widths, int mark, const Json &rows) {
  return {{"columns", kColumns}, {"widths", widths}, {"mark", mark}, {"rows", rows}};
}

TEST(DeviceList, CompleteScanListsEveryAnsweringFunctionInScanOrder) {
  Sandbox box;
  auto result = box.Run((kvtest::DataDir() / "machines" / kMachine).string(), "dump\n");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, std::string(kNoService) + "Error\n") << "00:05.0 answers status 2 with Vendor ID 1022h";

  DriverModel driver(kvtest::ReadMachineFile(kMachine));
  std::vector<std::string> expected = driver.Scan();
  kvtest::Append(expected, driver.Show(0x000000, false));  // row 0 is shown at once
  EXPECT_EQ(result.trace, expected);

  auto dumps = result.Dumps();
  ASSERT_EQ(dumps.size(), 1u);
  EXPECT_EQ(dumps[0]["lists"]["1000"], DeviceList(kFittedWidths, 0, Rows(0xFFFFFFFF, 0)));
}

TEST(DeviceList, FailingRequestEndsTheScanAndKeepsTheRowsFound) {
  const int kAnyCode = -1;  // a short byte count leaves whatever the last error was
  const struct {
    const char *what;
    const char *fault;   // the rule added to the machine file
    uint32_t at;         // the failing probe
    const char *before;  // standard output of the scan before it failed
    int code;
  } cases[] = {
      {"the first request fails", R"({"address":"00:00.0","request":"IOCTL_READ_CONFIG","error":31})", 0x000000, "",
       31},
      {"a function in the middle of a device fails",
       R"({"address":"00:07.3","request":"IOCTL_READ_CONFIG","error":1167})", 0x000703, "Error\n", 1167},
      {"a present function returns a short count",
       R"({"address":"01:00.0","request":"IOCTL_READ_CONFIG","returned":268})", 0x010000, "Error\n", kAnyCode},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    Json machine = kvtest::ReadMachineFile(kMachine);
    machine["faults"].push_back(Json::parse(c.fault));
    auto result = box.Run(box.Write("machine.json", machine.dump(2)).string(), "dump\n");
    EXPECT_EQ(result.exitCode, 0) << result.err;

    const std::string prefix = std::string(kNoService) + c.before + "Error in DeviceIoControl : ";
    ASSERT_EQ(result.out.substr(0, prefix.size()), prefix);
    const std::string code = result.out.substr(prefix.size());
    if (c.code == kAnyCode) {
      EXPECT_TRUE(!code.empty() && code.find_first_not_of("0123456789") == std::string::npos) << code;
    } else {
      EXPECT_EQ(code, std::to_string(c.code)) << "the text has no line end";
    }

    DriverModel driver(machine);
    std::vector<std::string> expected = driver.Scan();
    EXPECT_EQ(expected.back().substr(18, 7), kvtest::Bdf(c.at)) << "the model agrees where the scan stops";
    EXPECT_EQ(result.trace, expected) << "nothing after the failed probe, not even a register read";

    auto dumps = result.Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_EQ(dumps[0]["lists"]["1000"], DeviceList(kInsertedWidths, -1, Rows(c.at)))
        << "rows kept, columns not fitted, nothing selected";
    EXPECT_EQ(dumps[0]["lists"]["1002"]["rows"], Json::array());
  }
}

TEST(DeviceList, RescanSelectsRowZeroWhateverWasSelectedBefore) {
  const struct {
    const char *what;
    const char *script;
    int mark, selected;  // before the rescan
  } cases[] = {
      {"row 0, selected by the first scan", "", 0, 0},
      {"a clicked row", "click-row 1000 5\n", 5, 5},
      {"the last row, by keyboard", "focus 1000\nkey End\n", 16, 16},
      {"nothing: a click below the rows deselects and keeps the mark", "click-row 1000 3\nclick-empty 1000\n", 3, -1},
      {"row 0 again after another row", "click-row 1000 9\nclick-row 1000 0\n", 0, 0},
  };
  std::string script;
  for (const auto &c : cases) script += std::string(c.script) + "dump\nclick 1001\ndump\n";

  Sandbox box;
  auto result = box.Run((kvtest::DataDir() / "machines" / kMachine).string(), script);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::string out = kNoService;
  for (size_t i = 0; i <= std::size(cases); ++i) out += "Error\n";  // once a scan
  EXPECT_EQ(result.out, out);

  auto dumps = result.Dumps();
  ASSERT_EQ(dumps.size(), 2 * std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    const Json &before = dumps[2 * i]["lists"]["1000"], &after = dumps[2 * i + 1]["lists"]["1000"];
    EXPECT_EQ(before["mark"], cases[i].mark);
    for (size_t row = 0; row < kRowCount; ++row)
      EXPECT_EQ((before["rows"][row]["state"].get<int>() & 2) != 0, int(row) == cases[i].selected)
          << "before, row " << row << " selected";
    EXPECT_EQ(after, DeviceList(kFittedWidths, 0, Rows(0xFFFFFFFF, 0)));
  }
}

}  // namespace
