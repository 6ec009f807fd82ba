// The headless front end: performs a script's actions on the dialog and writes JSON lines.
#pragma once
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "kvplat/frontend.h"

namespace kvplat {

// What a script reaches beyond the dialog: the clock (`sleep`) and the simulated machine (`machine`: true with
// the command's answer, "" for none; false with the reason when the command was refused). A run has the real
// ones; the script's fuzz target its own.
struct ScriptSurroundings {
  std::function<void(int milliseconds)> sleep;
  std::function<bool(const std::string &command, std::string *why)> machine;
};
ScriptSurroundings RealScriptSurroundings();

// `script` is the script's text (empty: close the dialog as by its close box once it is shown); the JSON
// lines go to `out`, which the front end does not close. Should a line fail to reach `out` (named `outName`
// in the message), the run ends as after the last action. With `emptyFirst`, `out` (a file of old lines)
// is emptied before the first line, or when the front end goes without one: not before, so that a run that
// ends at once, because an input turned out to be this file, leaves it as it was.
std::unique_ptr<FrontEnd> MakeHeadlessFrontEnd(const std::string &script, std::FILE *out,
                                               const std::string &outName, bool emptyFirst,
                                               ScriptSurroundings surroundings = RealScriptSurroundings());

}  // namespace kvplat
