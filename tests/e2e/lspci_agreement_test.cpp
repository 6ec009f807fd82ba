// kelvorant against pciutils on the same captures: the demo machine and every lspci capture of the test data,
// served one PCI domain at a time. The device list must hold the functions, classes and IDs that `lspci -n`
// lists (less those that the scan never probes because an earlier function of their device is absent), and for
// each of them the register view must show, row by row, the values made of the bytes that `lspci -xxxx` prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "driver_model.h"
#include "harness.h"
#include "lspci_view.h"

namespace {

namespace fs = std::filesystem;
using kvtest::Sandbox;
using Json = nlohmann::ordered_json;
using kvtest::ExpectedView;
using kvtest::HaveLspci;
using kvtest::ListedRow;
using kvtest::Lspci;
using kvtest::LspciFunction;
using kvtest::Reached;
using kvtest::Shown;

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
