// The JSON machine file loader, apart from the other loaders: it needs the JSON reader, which a kernel build
// of the simulated machine leaves out.
#include <string_view>

#include "core/machine_file.h"
#include "core/sim_loaders.h"

namespace kvsys {

std::unique_ptr<SimMachine> LoadJsonMachine(const std::string &path, uint32_t domain, TextFiles &files,
                                            FaultTable *faults, std::string *why) {
  std::string text, reason;
  if (!files.ReadText(path, &text, &reason)) {
    *why = path + ": " + reason;
    return nullptr;
  }
  MachineFile file;
  if (!ParseMachineFile(text, &file, &reason)) {
    *why = path + ": " + reason;
    return nullptr;
  }
  auto machine = std::make_unique<SimMachine>(domain);
  if (file.dump && !AddDumpFile(*machine, JoinPath(FolderOf(path), *file.dump), files, why)) return nullptr;
  for (const MachineFileFunction &f : file.functions) {
    if (f.address.domain != domain) {
      machine->NoteOtherDomain(f.address.domain);
      continue;
    }
    const FunctionIndex fn = f.address.Index();
    machine->Put(fn, f.config);
    if (f.writable) machine->SetWritableMask(fn, *f.writable);
    if (f.clear_on_write) machine->SetClearOnWriteMask(fn, *f.clear_on_write);
  }
  std::vector<FaultRule> rules;
  for (FaultRule &rule : file.faults)
    if (rule.address.domain == domain) rules.push_back(std::move(rule));
  *faults = FaultTable(std::move(rules));
  return machine;
}

}  // namespace kvsys
