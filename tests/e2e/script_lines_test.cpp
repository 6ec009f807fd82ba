// The automation script's lines at their edges, on the demo machine: every line is done or a script error
// that names its line and why (exit status 3, nothing after it runs, the driver still taken down), never a
// crash, an exception or a hang.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using kvtest::Sandbox;

TEST(ScriptLines, EachIsDoneOrAScriptErrorThatSaysWhy) {
  const std::string kLong(size_t{64} * 1024, ' ');
  const struct {
    std::string script;  // a dump follows it
    const char *why;     // "N: why" after "kelvorant: script line ", or null when every line is done
    int mark = -2;       // when done and not -2: the device list's selection mark in the dump
  } cases[] = {
      // Blanks: spaces and tabs separate words, and nothing else does.
      {"machine\treset\t00:00.0", nullptr},
      {"machine\treset 00:1d.0\t", nullptr},
      {"  click-row\t1000  2\r", nullptr, 2},
      {"\v", "1: control character 0x0b at byte 1"},
      {"click\f1013", "1: control character 0x0c at byte 6"},
      {std::string("click 1013\0", 11), "1: control character 0x00 at byte 11"},
      {"dump\rclick 4242", "1: control character 0x0d at byte 5"},
      {"\x1b[2J", "1: control character 0x1b at byte 1"},
      {"key Tab # \x1b[2J in a comment", nullptr},
      {"\xEF\xBB\xBF" "click-row 1000 1", nullptr, 1},  // an editor's byte-order mark
      {"dump" + kLong, "1: longer than 65536 bytes"},
      {"# " + kLong, "1: longer than 65536 bytes"},
      // Numbers: decimal or hex, unsigned, within the range of what they count.
      {"click-row 1000 0x3", nullptr, 3},
      {"click 0x-5", "1: not a control id (0 to 65535): 0x-5"},
      {"click 0X3F5", "1: not a control id (0 to 65535): 0X3F5"},
      {"click +1013", "1: not a control id (0 to 65535): +1013"},
      {"click -1", "1: not a control id (0 to 65535): -1"},
      {"click 65536", "1: not a control id (0 to 65535): 65536"},
      {"click 99999999999999999999", "1: not a control id (0 to 65535): 99999999999999999999"},
      {"click-row 1000 2147483648", "1: not a row (0 to 2147483647): 2147483648"},
      {"click-row 1000 2147483647", "1: list 1000 has no row 2147483647"},
      {"sleep -0", "1: not a number of milliseconds (0 to 600000): -0"},
      {"sleep 2147483647", "1: not a number of milliseconds (0 to 600000): 2147483647"},
      // Controls that are not what the action needs, and a dialog that is gone.
      {"click 4242", "1: the dialog has no control 4242"},
      {"click-row 1000 999", "1: list 1000 has no row 999"},
      {"click-row 1004 0", "1: control 1004 is not a list view"},
      {"click-empty 1013", "1: control 1013 is not a list view"},
      {"focus 1004\nkey Up\nkey Space\nkey End\nclick-empty 1002", nullptr},
      {"close\nkey Enter", "2: the dialog has closed before this action"},
      {"close\nfrobnicate", "2: unknown action: frobnicate"},
      {"key enter", "1: unknown key: enter"},
      {"click 1013 1014", "1: usage: click ID"},
      // The simulated machine's commands.
      {"machine reset", "1: usage: machine reset|poke|unplug|plug|writes BB:DD.F ..."},
      {"machine unplug 07:00.0", "1: no function 07:00.0 in this machine"},
      {"machine frob 00:00.0", "1: unknown machine command \"frob\" (reset, poke, unplug, plug or writes)"},
      {"machine poke 00:00.0 0x1000 11", "1: poke: \"0x1000\" is not a hex offset 0-fff"},
      {"machine poke 00:00.0 fff 11 22", "1: poke: 2 bytes at 0xfff pass the end of the 4096-byte image of 00:00.0"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.script.substr(0, 80)));
    Sandbox box;
    const kvtest::RunResult result = box.Run("demo", c.script + "\ndump\n");
    EXPECT_EQ(result.out, kvtest::kNoService) << "the program takes its driver down";
    EXPECT_FALSE(box.ServiceInstalled());
    if (c.why) {
      EXPECT_EQ(result.exitCode, 3);
      EXPECT_EQ(result.err, std::string("kelvorant: script line ") + c.why + "\n");
      EXPECT_TRUE(result.Dumps().empty()) << "nothing after the failed line runs";
      continue;
    }
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    const auto dumps = result.Dumps();
    EXPECT_EQ(dumps.size(), 1u);
    if (c.mark != -2 && !dumps.empty()) {
      EXPECT_EQ(dumps[0]["lists"]["1000"]["mark"], c.mark);
    }
  }
}

}  // namespace
