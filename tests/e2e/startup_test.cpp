// Start-up and shut-down as a user meets them: the driver comes up before the dialog and goes away after it,
// however the dialog is closed; a missing driver file gives one message box and no dialog; a service left by
// a killed run is removed by the next.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "harness.h"

namespace {

using kvtest::Sandbox;
using Json = nlohmann::ordered_json;

using kvtest::kNoService;

// A machine where nothing answers: the dialog as OnInitDialog leaves it.
const char kEmptyMachine[] = R"({ "functions": [] })";

TEST(Startup, InitialDialogOnAnEmptyMachine) {
  Sandbox box;
  auto machine = box.Write("empty.json", kEmptyMachine);
  auto result = box.Run(machine.string(), "dump\nkey Tab\ndump\n");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, kNoService);
  EXPECT_EQ(result.trace.size(), 8192u) << "function 0 of every device of every bus, and nothing else";
  EXPECT_FALSE(box.ServiceInstalled());

  auto dumps = result.Dumps();
  ASSERT_EQ(dumps.size(), 2u);
  const Json expected = Json::parse(R"({
    "focus": 1,
    "lists": {
      "1000": {"columns": ["Type","Bus#","Dev#","Func#","Class","VID","DID","Description"],
               "widths": [35,35,35,41,41,29,29,374], "mark": -1, "rows": []},
      "1002": {"columns": ["Register","Value"], "widths": [63,45], "mark": -1, "rows": []}
    },
    "edits": {"1004": "", "1018": "", "1019": "", "1020": "", "1021": ""}
  })");
  EXPECT_EQ(dumps[0], expected);
  EXPECT_EQ(dumps[1]["focus"], 1000) << "Tab skips \"Uninstall driver\", which is no tab stop";
}

TEST(Startup, EveryWayOfClosingRemovesTheService) {
  const struct {
    const char *how;
    const char *script;
  } cases[] = {
      {"Exit", "click 1\n"},
      {"Uninstall driver", "click 2\n"},
      {"Escape", "key Escape\n"},
      {"close box", "close\n"},
      {"Enter in the device list", "focus 1000\nkey Enter\n"},
      {"no script", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.how);
    Sandbox box;
    std::map<std::string, std::string> env;
    if (!*c.script) env["KELVORANT_UI_SCRIPT"] = "";  // no script at all
    auto result = box.Run("demo", c.script, env);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, kNoService);
    EXPECT_TRUE(result.MessageBoxes().empty());
    EXPECT_FALSE(box.ServiceInstalled());
  }
}

TEST(Startup, MissingDriverFileShowsOneMessageBoxAndNoDialog) {
  Sandbox box;
  std::filesystem::remove(box.Dir() / "KELVORANT.sys");
  auto result = box.Run("demo", "");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, std::string(kNoService) + "Driver: KELVORANT.SYS is not in the " + box.Dir().string() +
                            " directory. \n" + kNoService);
  ASSERT_EQ(result.lines.size(), 1u) << "a message box and no dialog";
  EXPECT_EQ(result.lines[0].dump(),
            R"({"messageBox":{"caption":"Error","text":"Failed to install/load kelvorant.sys!","type":0}})");
  EXPECT_TRUE(result.trace.empty());
  EXPECT_FALSE(box.ServiceInstalled());
}

TEST(Startup, ServiceLeftByAKilledRunIsRemovedAtTheNextStart) {
  Sandbox box;
  int pid = box.Start("demo", "sleep 60000\n");
  for (int i = 0; i < 1000 && !box.ServiceInstalled(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(box.ServiceInstalled());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  kill(pid, SIGKILL);
  box.Wait(pid);
  ASSERT_TRUE(box.ServiceInstalled()) << "a killed run cannot clean up";

  auto result = box.Run("demo", "dump\n");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // The stop finds the service not running (its process is gone); the delete succeeds silently.
  EXPECT_EQ(result.out, "ControlService failed!  Error = 1062 \n");
  EXPECT_EQ(result.Dumps().size(), 1u);
  EXPECT_FALSE(box.ServiceInstalled());
}

// What pkexec's launcher does: the platform's variables as KELVORANT_NAME=VALUE arguments, in an environment
// that has none. They reach the platform as the environment would, and override it; other arguments and
// other names are left alone, as the program takes nothing from its command line.
TEST(Startup, VariablesOnTheCommandLineActAsTheEnvironment) {
  Sandbox box;
  const std::string script = "click-row 1000 1\ndump\n";
  const Json expected = box.Run("demo", script).Dumps().at(0);
  const std::string scriptPath = box.Write("args-script.txt", script).string();
  const std::string dumpPath = (box.Dir() / "dump.jsonl").string();
  const std::string scm = (box.Dir() / "scm").string();
  const std::map<std::string, std::string> none = {
      {"KELVORANT_UI", ""}, {"KELVORANT_UI_SCRIPT", ""}, {"KELVORANT_UI_DUMP", ""}, {"KELVORANT_SCM_DIR", ""}};
  const std::vector<std::string> variables = {"KELVORANT_UI=headless", "KELVORANT_MACHINE=demo",
                                              "KELVORANT_UI_SCRIPT=" + scriptPath, "KELVORANT_UI_DUMP=" + dumpPath,
                                              "KELVORANT_SCM_DIR=" + scm};

  auto fromArguments = box.Run("", "", none, variables);
  EXPECT_EQ(fromArguments.exitCode, 0) << fromArguments.err;
  ASSERT_EQ(fromArguments.Dumps().size(), 1u) << fromArguments.err;
  EXPECT_EQ(fromArguments.Dumps()[0], expected);

  // An argument beats the environment: a machine file that does not exist would stop the driver.
  std::vector<std::string> withOthers = variables;
  withOthers.insert(withOthers.begin(), {"/some/file", "kelvorant_machine=missing.json", "KELVORANT_=x"});
  auto overriding = box.Run((box.Dir() / "missing.json").string(), "", none, withOthers);
  EXPECT_EQ(overriding.exitCode, 0) << overriding.err;
  ASSERT_EQ(overriding.Dumps().size(), 1u) << overriding.err;
  EXPECT_EQ(overriding.Dumps()[0], expected);
  EXPECT_EQ(overriding.out, kNoService);
}

}  // namespace
