#include "kelvorant_run.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace kvbench {

namespace fs = std::filesystem;

KelvorantFolder::KelvorantFolder(const std::string &tag) {
  std::string templ = (fs::temp_directory_path() / ("kv-" + tag + "-XXXXXX")).string();
  if (!mkdtemp(templ.data())) return;
  dir_ = templ;
  std::error_code error;
  fs::copy_file(KV_BUILD_DIR "/KELVORANT.sys", dir_ / "KELVORANT.sys", error);
  ready_ = !error;
}

KelvorantFolder::~KelvorantFolder() {
  std::error_code error;
  if (!dir_.empty()) fs::remove_all(dir_, error);
}

ChildCommand KelvorantFolder::Command(const std::string &machine, const std::string &script) const {
  // One script file per distinct text, written once: the timed runs only read it.
  const fs::path scriptPath = dir_ / ("script-" + std::to_string(std::hash<std::string>{}(script)) + ".txt");
  if (!fs::exists(scriptPath)) std::ofstream(scriptPath) << "# the benchmark's script\n" << script;
  ChildCommand command;
  command.argv = {KV_BUILD_DIR "/kelvorant"};
  command.folder = dir_.string();
  command.env = {{"KELVORANT_UI", "headless"},
              {"KELVORANT_MACHINE", machine},
              {"KELVORANT_UI_SCRIPT", scriptPath.string()},
              {"KELVORANT_UI_DUMP", (dir_ / "dump.jsonl").string()},
              {"KELVORANT_SCM_DIR", (dir_ / "scm").string()},
              {"KELVORANT_TRACE", ""},
              {"DISPLAY", ""}};
  return command;
}

long KelvorantFolder::ListedRows(const std::string &machine) const {
  fs::remove(dir_ / "dump.jsonl");
  if (RunChild(Command(machine, "dump\n")).status != 0) return -1;
  std::ifstream in(dir_ / "dump.jsonl");
  std::stringstream text;
  text << in.rdbuf();
  // The device list (1000) comes before the register list (1002) in the dump.
  const std::string dump = text.str();
  const std::string list = dump.substr(0, dump.find("\"1002\":"));
  long rows = 0;
  for (size_t at = list.find("{\"cells\":"); at != std::string::npos; at = list.find("{\"cells\":", at + 1)) ++rows;
  return rows;
}

long KelvorantFolder::Requests(const std::string &machine) const {
  const fs::path trace = dir_ / "trace.txt";
  fs::remove(trace);
  ChildCommand command = Command(machine);
  command.env["KELVORANT_TRACE"] = trace.string();
  command.err = "/dev/null";  // a count: what the run says (a folder without functions, say) is not wanted
  if (RunChild(command).status != 0) return -1;
  std::ifstream in(trace);
  long lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

}  // namespace kvbench
