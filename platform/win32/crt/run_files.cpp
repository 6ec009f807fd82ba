#include "run_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "advapi32/scm.h"
#include "host/opener.h"
#include "kvplat/diag.h"
#include "kvplat/kernel.h"
#include "kvplat/window_library.h"

namespace kvplat {

namespace {

std::string Env(const char *name) {
  const char *value = std::getenv(name);
  return value ? value : "";
}

struct RunFile {
  std::string path;
  std::string what;  // "the machine file"
  std::string variable;
  struct stat st {};

  std::string Named() const { return variable.empty() ? what : what + " (" + variable + ")"; }
  bool Is(const RunFile &other) const { return st.st_dev == other.st.st_dev && st.st_ino == other.st.st_ino; }
};

// The machine's own file, when it names one: what it is, not its content, which the driver alone reads. One
// that cannot be reached is the driver's to report.
std::optional<RunFile> MachineFile() {
  MachineVariable machine;
  std::string why;
  if (!ParseMachineVariable(std::getenv("KELVORANT_MACHINE"), &machine, &why) || machine.file.empty()) return std::nullopt;
  RunFile file{machine.file, machine.file.ends_with(".json") ? "the machine file" : "the dump", "KELVORANT_MACHINE"};
  kvhost::OpenFailure failure;
  if (!kvhost::OpenPath(file.path, kvhost::OpenFor::kIdentity, &failure, &file.st).valid()) return std::nullopt;
  return file;
}

// The window library, which is code of this process whether or not this run loads it.
std::optional<RunFile> WindowLibrary() {
  RunFile file{"", "the window library", ""};
  std::string why;
  kvhost::OpenFailure failure;
  if (!WindowLibraryPath(&file.path, &why) ||
      !kvhost::OpenPath(file.path, kvhost::OpenFor::kIdentity, &failure, &file.st).valid())
    return std::nullopt;
  return file;
}

// Whether the file `path` would lie in `folder`.
bool LiesIn(const std::string &path, const struct stat &folder) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  struct stat st;
  return ::stat(parent.empty() ? "." : parent.c_str(), &st) == 0 && st.st_dev == folder.st_dev &&
         st.st_ino == folder.st_ino;
}

}  // namespace

bool OpenRunFiles(bool headless, RunFiles *files) {
  std::vector<RunFile> inputs;
  const std::string scriptPath = headless ? Env("KELVORANT_UI_SCRIPT") : "";
  if (!scriptPath.empty()) {
    RunFile script{scriptPath, "the script", "KELVORANT_UI_SCRIPT"};
    std::string why;
    if (!kvhost::ReadInput(scriptPath, kvhost::kMaxScriptBytes, &files->script, &why, &script.st)) {
      Diag("cannot read the script %s: %s", scriptPath.c_str(), why.c_str());
      return false;
    }
    inputs.push_back(script);
  }
  // The outputs are opened, not emptied: a file that turns out to be an input later (the dump that a
  // machine file names, the driver module) is then left as it was. Each is one of the run's outputs from
  // now on, which no input may be (kvhost::RegisterOutput).
  std::vector<RunFile> outputs;
  if (headless && !Env("KELVORANT_UI_DUMP").empty()) outputs.push_back({Env("KELVORANT_UI_DUMP"), "the JSON dump", "KELVORANT_UI_DUMP"});
  if (!Env("KELVORANT_TRACE").empty()) outputs.push_back({Env("KELVORANT_TRACE"), "the trace", "KELVORANT_TRACE"});
  if (outputs.empty()) return true;  // nothing to compare the inputs with
  if (std::optional<RunFile> machine = MachineFile()) inputs.push_back(*machine);
  if (std::optional<RunFile> library = WindowLibrary()) inputs.push_back(*library);
  // The service database's folder, whose records the platform rewrites and whose lock it takes.
  const std::string database = ScmFolder();
  struct stat databaseFolder {};
  const bool databaseExists = ::stat(database.c_str(), &databaseFolder) == 0;
  // A start that stops here leaves none of the outputs it made: each goes again, unless it was replaced since.
  std::vector<RunFile> made;
  const auto stop = [&made] {
    for (const RunFile &out : made) {
      struct stat now;
      if (::lstat(out.path.c_str(), &now) == 0 && now.st_dev == out.st.st_dev && now.st_ino == out.st.st_ino)
        ::unlink(out.path.c_str());
    }
    return false;
  };
  for (size_t i = 0; i < outputs.size(); ++i) {
    RunFile &out = outputs[i];
    const bool trace = out.variable == "KELVORANT_TRACE";
    if (databaseExists && LiesIn(out.path, databaseFolder)) {
      Diag("%s names %s, which lies in the service database %s: a file that the run writes is never one of its "
           "inputs", out.variable.c_str(), out.path.c_str(), database.c_str());
      return stop();
    }
    kvhost::OpenFailure failure;
    kvhost::UniqueFd fd =
        kvhost::OpenPath(out.path, trace ? kvhost::OpenFor::kAppend : kvhost::OpenFor::kOutput, &failure, &out.st);
    if (!fd.valid()) {
      Diag("cannot write %s %s: %s", out.what.c_str(), out.path.c_str(), failure.why.c_str());
      return stop();
    }
    if (failure.created) made.push_back(out);
    if (const std::string function = HalFunctionOfFile(out.st); !function.empty()) {
      Diag("%s names %s, which is the config file of the served function %s: a file that the run writes is never "
           "one of its inputs", out.variable.c_str(), out.path.c_str(), function.c_str());
      return stop();
    }
    for (const RunFile &in : inputs) {
      if (!out.Is(in)) continue;
      Diag("%s names %s, which is %s: a file that the run writes is never one of its inputs", out.variable.c_str(),
           out.path.c_str(), in.Named().c_str());
      return stop();
    }
    for (size_t j = 0; j < i; ++j) {
      if (!out.Is(outputs[j])) continue;
      Diag("%s names %s, which is %s too: each output needs a file of its own", out.variable.c_str(),
           out.path.c_str(), outputs[j].Named().c_str());
      return stop();
    }
    if (trace) {
      files->trace = std::move(fd);
    } else {
      files->dump = std::move(fd);
      files->dumpPath = out.path;
      files->dumpKept = failure.descriptor;
    }
  }
  for (const RunFile &out : outputs) kvhost::RegisterOutput(out.st, out.what, out.variable);
  return true;
}

}  // namespace kvplat
