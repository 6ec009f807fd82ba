// Text from a machine file, a dump or a script that a diagnostic quotes reaches root's terminal with its
// controls escaped: no title change, no cleared screen, no CSI of either form.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using kvtest::Sandbox;

std::string Replace(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  return text;
}

TEST(TerminalEscapes, QuotedTextFromFilesIsEscapedOnStandardError) {
  const struct {
    const char *what;
    const char *machineFile;  // null: the demo machine
    const char *script;
    const char *err;  // <DIR> is the sandbox
  } cases[] = {
      {"a machine file's unknown key", R"({ "functions": [], "\u001b]2;owned\u0007": 1 })", "",
       "kelvorant: KELVORANT.sys: <DIR>/m.json: \\x1b]2;owned\\x07: unknown key\n"},
      {"the name of the dump it names", R"({ "dump": "\u001b[2J.txt" })", "",
       "kelvorant: KELVORANT.sys: <DIR>/\\x1b[2J.txt: cannot open: No such file or directory\n"},
      {"a script's unknown action, C1 and broken UTF-8", nullptr, "\xc2\x9b" "2J\xff\n",
       "kelvorant: script line 1: unknown action: \\xc2\\x9b2J\\xff\n"},
      {"a machine command's word, quoted back by the driver", nullptr, "machine poke 00:00.0 \xc2\x9d" "0 1\n",
       "kelvorant: script line 1: poke: \"\\xc2\\x9d0\" is not a hex offset 0-fff\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    const std::string machine = c.machineFile ? box.Write("m.json", c.machineFile).string() : "demo";
    const kvtest::RunResult result = box.Run(machine, c.script);
    EXPECT_EQ(result.err, Replace(c.err, "<DIR>", box.Dir().string()));
  }
}

}  // namespace
