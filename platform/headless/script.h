// The automation script: one action a line, `#` starts a comment. Words are separated by spaces and tabs; a
// number is decimal or 0x and hex, never signed. A line holding another control character, or longer than a
// line of a dump may be (64 KiB), is no action, whatever it says.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace kvplat::script {

enum class Verb { Click, ClickRow, ClickEmpty, Key, Focus, Close, Sleep, Machine, Dump, Invalid };

struct Action {
  int line = 0;         // 1-based line of the script
  Verb verb = Verb::Dump;
  int id = 0;           // control id: click, click-row, click-empty, focus
  int row = 0;          // click-row
  UINT key = 0;         // key: the virtual-key code
  int milliseconds = 0; // sleep: at most ten minutes, the script's sleeps too
  std::string machine;  // machine: the command after "machine", its words separated by one space
  std::string error;    // invalid: why the line is not an action
};

// Reads a script. A line that is not an action becomes an Invalid action, so that it is reported when the
// script reaches it, after the actions before it have been done.
std::vector<Action> Parse(const std::string &text);

}  // namespace kvplat::script
