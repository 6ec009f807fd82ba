// Building simulated machines: from an lspci dump, from a JSON machine file (with its fault rules), and the
// built-in demo, a real laptop captured with lspci. Only the functions of the served domain are kept.
// A failure comes back as one line naming the file and the line ("m.txt:12: ...") or the place
// ("m.json: functions[3].config: ...").
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "core/faults.h"
#include "core/sim_machine.h"
#include "core/text_files.h"

namespace kvsys {

std::unique_ptr<SimMachine> LoadDumpMachine(const std::string &path, uint32_t domain, TextFiles &files,
                                            std::string *why);
std::unique_ptr<SimMachine> LoadJsonMachine(const std::string &path, uint32_t domain, TextFiles &files,
                                            FaultTable *faults, std::string *why);
std::unique_ptr<SimMachine> LoadDemoMachine(uint32_t domain);

// Adds every function of dump text to the machine; false with "line N: reason" in *why.
bool AddDumpText(SimMachine &machine, std::string_view text, std::string *why);
// The same for a dump file; false with "path:N: reason" in *why.
bool AddDumpFile(SimMachine &machine, const std::string &path, TextFiles &files, std::string *why);

}  // namespace kvsys
