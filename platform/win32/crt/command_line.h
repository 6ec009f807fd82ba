// kelvorant's command line, read as GNU programs read theirs (getopt_long's rules, without abbreviations):
//   kelvorant [OPTION]... [FILE[@DDDD]]
// Options may come anywhere before "--", after which every argument is a FILE; short ones may be grouped
// (-hV) and take their argument attached or as the next argument (-tFILE, -t FILE), long ones after '=' or
// as the next argument (--trace=FILE, --trace FILE).
//
// The options stand for the platform's variables: FILE and --machine for KELVORANT_MACHINE, --trace for
// KELVORANT_TRACE. A launcher that cannot hand the program its environment (pkexec clears it) passes the
// variables as KELVORANT_NAME=VALUE arguments (a name of the platform's; another is refused). Both go into
// the environment before anything reads it: such an argument over the environment, an option over both.
//
// FILE is a file, never one of KELVORANT_MACHINE's words: one that starts with neither '/' nor '.' is handed
// over as ./FILE, so that `kelvorant demo` opens the file demo and `kelvorant sysfs:x` the file sysfs:x.
// A FILE that ends in '@' and 4 or 5 hex digits serves that domain, as KELVORANT_MACHINE reads it.
//
// Nothing of the command line reaches the program's WinMain: every argument is the platform's.
#pragma once
#include <string>

namespace kvplat {

struct CommandLine {
  enum class Action {
    kRun,
    kHelp,     // --help: the usage, and nothing else (the first of --help and --version counts)
    kVersion,  // --version
    kRefuse,   // a mistake, said in `mistake`
  };
  Action action = Action::kRun;
  bool unprivileged = false;  // --unprivileged
  std::string mistake;        // kRefuse: the line after "kelvorant: ", as getopt_long words its own
};

// Reads argv[1] to argv[argc - 1]. Unless it refuses them, their variables are set in the environment;
// a refused command line leaves the environment alone.
CommandLine ReadCommandLine(int argc, const char *const *argv);

// The first variable of the platform that is set but empty ("" for none): a mistake, whether it came from
// the environment or an argument. KELVORANT_MACHINE's is the driver's to say (it names the machines).
std::string EmptyVariable();

}  // namespace kvplat
