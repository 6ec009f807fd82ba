#include "core/sim_loaders.h"

#include <string_view>

#include "core/dump_reader.h"
#include "core/machine_file.h"
#include "kvplat/embedded.h"

// The demo machine's capture, linked in as bytes (data/tree-fujitsu-p8010.txt).
extern const kvplat::EmbeddedFile kv_demo_machine_files[];

namespace kvsys {

namespace {

DumpReader::Sink IntoMachine(SimMachine &machine) {
  return [&machine](const PciAddress &address, std::span<const uint8_t> image) {
    if (address.domain == machine.domain()) machine.Put(address.Index(), image);
  };
}

// Reads a dump file into the machine; the error names the file and line.
bool AddDumpFile(SimMachine &machine, const std::string &path, TextFiles &files, std::string *why) {
  DumpReader reader(IntoMachine(machine));
  std::string reason;
  const bool read = files.ReadLines(path, [&](std::string_view line) { return reader.Feed(line); }, &reason);
  if (!reader.error().empty()) {
    *why = path + ":" + std::to_string(reader.error_line()) + ": " + reader.error();
    return false;
  }
  if (!read) {
    *why = path + ": " + reason;
    return false;
  }
  reader.Finish();
  return true;
}

}  // namespace

bool AddDumpText(SimMachine &machine, std::string_view text, std::string *why) {
  DumpReader reader(IntoMachine(machine));
  if (!FeedText(reader, text)) {
    *why = "line " + std::to_string(reader.error_line()) + ": " + reader.error();
    return false;
  }
  reader.Finish();
  return true;
}

std::unique_ptr<SimMachine> LoadDumpMachine(const std::string &path, uint32_t domain, TextFiles &files,
                                            std::string *why) {
  auto machine = std::make_unique<SimMachine>(domain);
  if (!AddDumpFile(*machine, path, files, why)) return nullptr;
  return machine;
}

std::unique_ptr<SimMachine> LoadJsonMachine(const std::string &path, uint32_t domain, TextFiles &files,
                                            FaultTable *faults, std::string *why) {
  std::string text, reason;
  const bool read = files.ReadLines(
      path,
      [&](std::string_view line) {
        text.append(line);
        text += '\n';
        return true;
      },
      &reason);
  if (!read) {
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
    if (f.address.domain != domain) continue;
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

std::unique_ptr<SimMachine> LoadDemoMachine(uint32_t domain) {
  auto machine = std::make_unique<SimMachine>(domain);
  const kvplat::EmbeddedFile &capture = kv_demo_machine_files[0];
  std::string why;
  // The capture is part of the build and known to be well formed (a test reads it too).
  AddDumpText(*machine, std::string_view(reinterpret_cast<const char *>(capture.data), capture.size), &why);
  return machine;
}

}  // namespace kvsys
