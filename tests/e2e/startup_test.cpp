// Start-up and shut-down as a user meets them: the driver comes up before the dialog and goes away after it,
// however the dialog is closed; a missing driver file gives one message box and no dialog; a service left by
// a killed run is removed by the next.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <regex>
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
// that has none. They reach the platform as the environment would, and override it.
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
  auto overriding = box.Run((box.Dir() / "missing.json").string(), "", none, variables);
  EXPECT_EQ(overriding.exitCode, 0) << overriding.err;
  ASSERT_EQ(overriding.Dumps().size(), 1u) << overriding.err;
  EXPECT_EQ(overriding.Dumps()[0], expected);
  EXPECT_EQ(overriding.out, kNoService);
}

// The command line as GNU programs read theirs. FILE and --machine set the machine over KELVORANT_MACHINE
// (here a file that does not exist, which would stop the driver), whether it comes from the environment or
// as an argument; a FILE is a file even when it is named like a machine or an option. --help, --version
// and mistakes are answered on their own, with nothing started.
TEST(Startup, TheCommandLineNamesTheMachineOverItsVariableOrIsAnsweredAtOnce) {
  Sandbox box;
  const std::string dump = kvtest::ReadText((kvtest::DataDir() / "lspci" / "cap-ht.txt").string());
  box.Write("demo", dump);
  box.Write("-dump.txt", dump);
  const std::string domains = (kvtest::DataDir() / "lspci" / "PCI-X-bridges-and-domains.txt").string();
  const auto deviceList = [](const kvtest::RunResult &run) {
    return run.Dumps().empty() ? Json() : run.Dumps()[0]["lists"]["1000"]["rows"];
  };
  const Json demoList = deviceList(box.Run("demo", "dump\n"));
  const Json dumpList = deviceList(box.Run((box.Dir() / "demo").string(), "dump\n"));
  const Json domainList = deviceList(box.Run(domains + "@0001", "dump\n"));
  ASSERT_NE(demoList, dumpList);
  ASSERT_NE(dumpList, domainList);

  const std::string tryHelp = "Try 'kelvorant --help' for more information.\n";
  const std::string usage = R"(Usage: kelvorant \[OPTION\]\.\.\. \[FILE\[@DDDD\]\]\n[\s\S]*)";
  const std::string version = R"(kelvorant [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+\n)";
  const struct {
    std::vector<std::string> args;
    const Json *served;  // the device list shown; null: nothing started, and standard output is `out`
    std::string said;    // standard error
    std::string out = "";
  } cases[] = {
      {{"demo"}, &dumpList, ""},
      {{"-m", "demo"}, &demoList, ""},
      {{"KELVORANT_MACHINE=missing.json", "-mdemo"}, &demoList, ""},
      {{"--machine=" + domains + "@0001"}, &domainList, ""},
      {{domains + "@0001"}, &domainList, ""},
      {{"--", "-dump.txt"}, &dumpList, ""},
      {{"--help"}, nullptr, "", usage},
      {{"-hV"}, nullptr, "", usage},
      {{"--version", "demo"}, nullptr, "", version},
      {{"-V"}, nullptr, "", version},
      {{"--frobnicate=1"}, nullptr, "kelvorant: unrecognized option '--frobnicate=1'\n" + tryHelp},
      {{"--help", "-x"}, nullptr, "kelvorant: invalid option -- 'x'\n" + tryHelp},
      {{"--trace"}, nullptr, "kelvorant: option '--trace' requires an argument\n" + tryHelp},
      {{"-m"}, nullptr, "kelvorant: option requires an argument -- 'm'\n" + tryHelp},
      {{"--version=2"}, nullptr, "kelvorant: option '--version' doesn't allow an argument\n" + tryHelp},
      {{"--machine="}, nullptr, "kelvorant: option '--machine' has an empty argument\n" + tryHelp},
      {{"a.txt", "-m", "demo"}, nullptr, "kelvorant: more than one machine: 'a.txt' and 'demo'\n" + tryHelp},
      {{"KELVORANT_machine=demo"}, nullptr,
       "kelvorant: 'KELVORANT_machine=demo' sets no variable: a name is KELVORANT_ and capitals, digits or _ (a "
       "file named so is ./KELVORANT_machine=demo)\n" + tryHelp},
      {{"KELVORANT_TRAC=t.txt"}, nullptr,
       "kelvorant: 'KELVORANT_TRAC' is no variable of kelvorant (KELVORANT_MACHINE, KELVORANT_TRACE, KELVORANT_UI, "
       "KELVORANT_UI_SCRIPT, KELVORANT_UI_DUMP or KELVORANT_SCM_DIR)\n" + tryHelp},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const kvtest::RunResult result = box.Run("missing.json", "dump\n", {}, c.args);
    EXPECT_EQ(result.exitCode, c.served || c.said.empty() ? 0 : 2);
    EXPECT_EQ(result.err, c.said);
    if (c.served) {
      EXPECT_EQ(deviceList(result), *c.served);
    } else {
      EXPECT_TRUE(result.lines.empty() && result.trace.empty()) << "nothing starts";
      EXPECT_TRUE(std::regex_match(result.out, std::regex(c.out))) << result.out;
    }
  }

  // --trace names the trace over KELVORANT_TRACE (the sandbox's trace.txt).
  const kvtest::RunResult traced = box.Run("demo", "", {}, {"--trace", "option-trace.txt"});
  EXPECT_EQ(traced.exitCode, 0) << traced.err;
  EXPECT_TRUE(traced.trace.empty());
  EXPECT_NE(kvtest::ReadText((box.Dir() / "option-trace.txt").string()), "");
}

}  // namespace
