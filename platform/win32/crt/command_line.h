// The platform's variables given on the command line. A launcher that cannot hand the program its
// environment (pkexec clears it) passes KELVORANT_NAME=VALUE arguments instead; the start-up puts them into
// the environment before anything reads it, where they override what was there. The program itself still
// takes nothing from its command line: these arguments are not part of the one WinMain gets.
#pragma once

namespace kvplat {

// Sets every KELVORANT_NAME=VALUE argument (NAME of capitals, digits and '_') in the environment and takes
// it out of argv, keeping the other arguments in order; *argc is their count, with argv[0].
void TakeCommandLineVariables(int *argc, char **argv);

}  // namespace kvplat
