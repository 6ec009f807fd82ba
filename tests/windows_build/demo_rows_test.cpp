// The device-list rows that the Wine test expects of the Windows build are the rows that the Linux build
// shows for the same machines: the demo machine, and a machine file with fault rules.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace {

TEST(WindowsDeviceRows, AreTheRowsTheLinuxBuildShows) {
  const std::pair<std::string, const char *> cases[] = {
      {"demo", "demo-device-rows.txt"},
      {(kvtest::DataDir() / "machines" / "fujitsu-faults.json").string(), "fujitsu-faults-device-rows.txt"},
  };
  for (const auto &[machine, rows] : cases) {
    SCOPED_TRACE(machine);
    kvtest::Sandbox sandbox;
    const kvtest::RunResult run = sandbox.Run(machine, "dump\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto dumps = run.Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    std::string shown;
    for (const auto &row : dumps[0]["lists"]["1000"]["rows"]) {
      std::string line;
      bool first = true;
      for (const auto &cell : row["cells"]) {
        line += (first ? "" : "\t") + cell.get<std::string>();
        first = false;
      }
      shown += line + "\n";
    }
    EXPECT_EQ(shown, kvtest::ReadText(kvtest::DataDir().parent_path() / "windows_build" / "data" / rows));
  }
}

}  // namespace
