// Runs the built kelvorant as a user would, headless, in a folder of its own, and collects what it wrote:
// standard output, standard error, the JSON lines of the headless front end and the driver's trace.
#pragma once
#include <nlohmann/json.hpp>
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/test_files.h"

namespace kvtest {

// Standard output of a first start: the service is looked for twice, before it is installed and before the
// device is opened.
inline constexpr char kNoService[] = "OpenService failed!  Error = 1060 \nOpenService failed!  Error = 1060 \n";

// The one JSON line of a start that failed: the message box, and no dialog.
inline constexpr char kFailedBox[] =
    R"({"messageBox":{"caption":"Error","text":"Failed to install/load kelvorant.sys!","type":0}})";

// Standard output of a start whose service was created but did not start with `error`: the removal that
// follows finds it stopped and deletes it, and the removal after the message box finds nothing.
std::string RefusedStart(int error);

struct RunResult {
  int exitCode = -1;
  std::string out;                  // the program's standard output, byte for byte
  std::string err;                  // the platform's diagnostics
  std::vector<std::string> trace;   // one line per driver request
  std::vector<nlohmann::ordered_json> lines;  // the headless front end's JSON lines
  std::vector<nlohmann::ordered_json> Dumps() const;         // the "dump" objects, in order
  std::vector<nlohmann::ordered_json> MessageBoxes() const;  // the "messageBox" objects, in order
};

class Sandbox {
 public:
  Sandbox();  // a fresh folder holding KELVORANT.sys, with its own service database
  Sandbox(const Sandbox &) = delete;
  Sandbox &operator=(const Sandbox &) = delete;

  const std::filesystem::path &Dir() const { return dir_; }
  std::filesystem::path Write(const std::string &name, const std::string &text) const;

  // Runs kelvorant headless in the folder with KELVORANT_MACHINE=machine and the script. Extra variables
  // override the defaults (an empty value removes one); `args` are its command line.
  RunResult Run(const std::string &machine, const std::string &script,
                const std::map<std::string, std::string> &extraEnv = {},
                const std::vector<std::string> &args = {}) const;

  // Starts kelvorant the same way without waiting for it; Wait collects what it wrote.
  int Start(const std::string &machine, const std::string &script,
            const std::map<std::string, std::string> &extraEnv = {},
            const std::vector<std::string> &args = {}) const;
  RunResult Wait(int pid) const;

  // Whether the service database holds a record of the driver's service.
  bool ServiceInstalled() const;

  // Runs this program from now on in place of the built kelvorant (a copy of it in another folder).
  void UseProgram(const std::filesystem::path &program) { program_ = program; }
  // Starts it in this folder from now on, in place of the sandbox's own (which keeps what it writes).
  void UseFolder(const std::filesystem::path &folder) { folder_ = folder; }

 private:
  TempDir box_{"kelvorant-e2e"};
  std::filesystem::path dir_{box_.path()};
  std::filesystem::path program_;  // empty: the built kelvorant
  std::filesystem::path folder_;   // empty: the sandbox
};

// The headless front end's JSON lines through a FIFO whose pipe holds one page, for a test that acts while
// the program is at a known place of its script. The program goes on to its next action only when a line
// is through the pipe, so a few large `dump` lines after the one the test waits for keep the program inside
// the script until the test reads on: the test can change files at that point.
class DumpPipe {
 public:
  static constexpr int kPipeSize = 4096;

  explicit DumpPipe(const std::filesystem::path &path);  // makes the FIFO
  ~DumpPipe();
  DumpPipe(const DumpPipe &) = delete;
  DumpPipe &operator=(const DumpPipe &) = delete;

  // Reads until `count` more lines have come; false when they did not come within a minute.
  bool ReadLines(size_t count);
  // Reads what is left, up to the program's exit.
  void ReadToEnd();
  // Stops reading: the program's next write to the pipe fails (EPIPE).
  void Close();

  const std::vector<std::string> &lines() const { return lines_; }

 private:
  bool Fill();

  int read_ = -1, hold_ = -1;
  std::string pending_;
  std::vector<std::string> lines_;
};

// The failure path of start-up: exit status 0, one message box and no dialog, no request sent, no service
// left.
void ExpectFailedStart(const RunResult &result, const Sandbox &box);

// The user nobody, when this process runs as root and may become it.
std::optional<std::pair<uid_t, gid_t>> Nobody();

// Runs kelvorant as the sandbox does, from a child process that has become `user` first, and collects what
// it wrote from the sandbox's files. The sandbox becomes writable by everyone, sticky as /tmp is, so that the
// user can work in it and no one can replace what another put there. Nothing when the user cannot reach
// the built program (a checkout in a private folder).
std::optional<RunResult> RunAs(const Sandbox &box, std::pair<uid_t, gid_t> user, const std::string &machine,
                               const std::string &script, const std::map<std::string, std::string> &env = {});

// The build folder (with kelvorant and KELVORANT.sys) and the test data folder.
std::filesystem::path BuildDir();
std::filesystem::path DataDir();

// Lines of a text without their line ends.
std::vector<std::string> Lines(const std::string &text);

}  // namespace kvtest
