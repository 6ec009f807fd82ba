#include "core/sim_loaders.h"

#include <string_view>

#include "core/demo_capture.h"
#include "core/dump_reader.h"

namespace kvsys {

namespace {

DumpReader::Sink IntoMachine(SimMachine &machine) {
  return [&machine](const PciAddress &address, std::span<const uint8_t> image) {
    if (address.domain == machine.domain()) {
      machine.Put(address.Index(), image);
    } else {
      machine.NoteOtherDomain(address.domain);
    }
  };
}

}  // namespace

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

std::unique_ptr<SimMachine> LoadDemoMachine(uint32_t domain) {
  auto machine = std::make_unique<SimMachine>(domain);
  std::string why;
  // The capture is part of the build and known to be well formed (a test reads it too).
  AddDumpText(*machine, DemoCapture(), &why);
  return machine;
}

}  // namespace kvsys
