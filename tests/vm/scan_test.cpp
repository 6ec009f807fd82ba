// The device list and the register view on a real kernel's sysfs: kelvorant (root, default machine) steps
// through its list with the arrow keys and dumps the dialog at every row; lspci of the same guest is taken
// just before and just after.
#include <gtest/gtest.h>

#include "guest_results.h"
#include "harness.h"

namespace {

using Json = nlohmann::ordered_json;

struct Scan {
  std::vector<kvtest::LspciFunction> listed;  // what the scan reaches of lspci's account, in scan order
  std::vector<Json> dumps;
};

Scan ReadScan() {
  Scan scan;
  const auto before = kvvm::Capture("scan", "lspci-before.txt");
  EXPECT_EQ(kvvm::StepFile("scan", "lspci-before.txt"), kvvm::StepFile("scan", "lspci-after.txt"))
      << "the functions changed while kelvorant read them";
  scan.listed = kvtest::Reached(before, 0);
  for (const Json &line : kvvm::JsonLines("scan", "dump.jsonl")) {
    EXPECT_TRUE(line.contains("dump")) << line.dump();
    if (line.contains("dump")) scan.dumps.push_back(line["dump"]);
  }
  EXPECT_EQ(kvvm::StepFile("scan", "exit-status.txt"), "0\n") << kvvm::StepFile("scan", "stderr.txt");
  EXPECT_EQ(kvvm::StepFile("scan", "stdout.txt"), kvtest::kNoService);
  return scan;
}

TEST(VmScan, DeviceListHoldsEveryFunctionOfDomain0InScanOrder) {
  KV_REQUIRE_GUEST();
  const Scan scan = ReadScan();
  ASSERT_FALSE(scan.dumps.empty());
  ASSERT_GE(scan.listed.size(), 14u);
  const Json &rows = scan.dumps.front()["lists"]["1000"]["rows"];
  ASSERT_EQ(rows.size(), scan.listed.size()) << rows.dump();
  for (size_t i = 0; i < rows.size(); ++i) {
    const kvtest::LspciFunction &f = scan.listed[i];
    SCOPED_TRACE(kvvm::Address(f));
    Json cells = rows[i]["cells"];
    cells.erase(cells.begin());  // the class description is the program's own
    EXPECT_EQ(cells, kvtest::ListedRow(f));
    EXPECT_EQ(rows[i]["data"], f.key);
  }
}

TEST(VmScan, RegisterViewOfEveryFunctionShowsLspcisBytes) {
  KV_REQUIRE_GUEST();
  const Scan scan = ReadScan();
  ASSERT_EQ(scan.dumps.size(), scan.listed.size());
  size_t extended = 0;
  for (size_t i = 0; i < scan.dumps.size(); ++i) {
    const kvtest::LspciFunction &f = scan.listed[i];
    SCOPED_TRACE(kvvm::Address(f));
    EXPECT_EQ(scan.dumps[i]["lists"]["1000"]["mark"], i);
    const auto shown = kvtest::Shown(scan.dumps[i]);
    EXPECT_EQ(shown, kvtest::ExpectedView(f));
    // Extended rows exactly for the PCI Express functions.
    const bool hasExtendedRows = !shown.empty() && shown.back().first == "Device Specific [FF0]";
    EXPECT_EQ(hasExtendedRows, f.pciExpress);
    extended += hasExtendedRows;
  }
  EXPECT_GE(extended, 8u);
}

}  // namespace
