#include "run_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "core/machine_choice.h"
#include "core/machine_file.h"
#include "core/read_limits.h"
#include "core/text_files.h"
#include "host/read_limits.h"
#include "kvplat/diag.h"
#include "kvplat/machine_setting.h"

namespace kvplat {

namespace {

std::string Env(const char *name) {
  const char *value = std::getenv(name);
  return value ? value : "";
}

struct RunFile {
  std::string path;
  std::string what;  // "the machine file (KELVORANT_MACHINE)"
  std::string variable;
};

// The files that the driver reads for the machine: a dump, or a machine file and the dump it names.
std::vector<RunFile> MachineInputs() {
  std::vector<RunFile> inputs;
  const MachineVariable machine = ParseMachineVariable(std::getenv("KELVORANT_MACHINE"));
  kvsys::MachineChoice choice;
  std::string why;
  if (machine.kind != MachineVariable::Kind::kValue || !kvsys::ParseMachineValue(machine.value, &choice, &why)) return inputs;
  if (choice.kind == kvsys::MachineKind::kDump) inputs.push_back({choice.path, "the dump", "KELVORANT_MACHINE"});
  if (choice.kind != kvsys::MachineKind::kJson) return inputs;
  inputs.push_back({choice.path, "the machine file", "KELVORANT_MACHINE"});
  // The dump it names, read the way the driver reads it. A file that cannot be read or parsed is left to
  // the driver, which says why.
  std::string text;
  kvsys::MachineFile file;
  if (kvhost::ReadInput(choice.path, kvsys::kMaxMachineFileBytes, &text, &why) &&
      kvsys::ParseMachineFile(text, &file, &why) && file.dump) {
    inputs.push_back({kvsys::JoinPath(kvsys::FolderOf(choice.path), *file.dump),
                      "the dump that the machine file " + choice.path + " names", "KELVORANT_MACHINE"});
  }
  return inputs;
}

// Whether two paths name one file: the same file when both exist, the same path when neither does yet.
bool SameFile(const std::string &a, const std::string &b) {
  const std::optional<kvhost::FileId> idA = kvhost::IdOfPath(a), idB = kvhost::IdOfPath(b);
  if (idA || idB) return idA == idB;
  std::error_code ignored;
  return std::filesystem::weakly_canonical(a, ignored) == std::filesystem::weakly_canonical(b, ignored);
}

// False after saying so when an output is one of the inputs or the output before it.
bool CheckOutputsApart(const std::vector<RunFile> &inputs, const std::vector<RunFile> &outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    const RunFile &out = outputs[i];
    for (const RunFile &in : inputs) {
      if (!SameFile(out.path, in.path)) continue;
      Diag("%s names %s, which is %s (%s): a file that the run writes is never one of its inputs",
           out.variable.c_str(), out.path.c_str(), in.what.c_str(), in.variable.c_str());
      return false;
    }
    for (size_t j = 0; j < i; ++j) {
      if (!SameFile(out.path, outputs[j].path)) continue;
      Diag("%s names %s, which is %s (%s) too: each output needs a file of its own", out.variable.c_str(),
           out.path.c_str(), outputs[j].what.c_str(), outputs[j].variable.c_str());
      return false;
    }
  }
  return true;
}

kvhost::UniqueFd OpenOutputOrSay(const RunFile &file, bool append) {
  std::string why;
  kvhost::UniqueFd fd = kvhost::OpenOutput(file.path, append, &why);
  if (!fd.valid()) Diag("cannot write %s %s: %s", file.what.c_str(), file.path.c_str(), why.c_str());
  return fd;
}

}  // namespace

bool OpenRunFiles(bool headless, RunFiles *files) {
  if (const char *machine = std::getenv("KELVORANT_MACHINE"); machine && !machine[0]) {
    Diag("KELVORANT_MACHINE is set but empty: unset it to serve this computer (or the demo machine where it "
         "has no PCI function), or name sysfs, sysfs:DIR, demo or a file");
    return false;
  }
  std::vector<RunFile> inputs = MachineInputs();
  const std::string scriptPath = headless ? Env("KELVORANT_UI_SCRIPT") : "";
  if (!scriptPath.empty()) inputs.push_back({scriptPath, "the script", "KELVORANT_UI_SCRIPT"});
  std::vector<RunFile> outputs;
  if (headless && !Env("KELVORANT_UI_DUMP").empty()) {
    outputs.push_back({Env("KELVORANT_UI_DUMP"), "the JSON dump", "KELVORANT_UI_DUMP"});
  }
  if (!Env("KELVORANT_TRACE").empty()) outputs.push_back({Env("KELVORANT_TRACE"), "the trace", "KELVORANT_TRACE"});
  if (!CheckOutputsApart(inputs, outputs)) return false;

  if (!scriptPath.empty()) {
    std::string why;
    if (!kvhost::ReadInput(scriptPath, kvhost::kMaxScriptBytes, &files->script, &why)) {
      Diag("cannot read the script %s: %s", scriptPath.c_str(), why.c_str());
      return false;
    }
  }
  for (const RunFile &out : outputs) {
    const bool trace = out.variable == "KELVORANT_TRACE";
    kvhost::UniqueFd fd = OpenOutputOrSay(out, trace);
    if (!fd.valid()) return false;
    if (trace) {
      files->trace = std::move(fd);
      files->tracePath = out.path;
      continue;
    }
    // The JSON dump starts empty, as a file that a shell redirection names does.
    struct stat st;
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd.get(), 0) != 0) {
      ReportOutputFailure("the JSON dump", out.path.c_str(), errno);
      return false;
    }
    files->dump = std::move(fd);
    files->dumpPath = out.path;
  }
  return true;
}

}  // namespace kvplat
