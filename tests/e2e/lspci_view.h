// lspci's account of PCI functions and what kelvorant must show for it: the functions, classes, IDs and bytes
// of `lspci -D -nvv -xxxx` text (run on a capture with -F, or taken on a live machine), the functions that the
// program's scan reaches, and the device-list row and register-view rows made of those bytes by the program's
// rules. Tests judge the program against it, never against the program's own code.
#pragma once
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {

struct LspciFunction {
  unsigned domain = 0;
  uint32_t key = 0;
  uint32_t classCode = 0;      // base class, subclass, programming interface
  std::string vendor, device;  // four lower-case digits, as lspci -n writes them
  std::vector<int> bytes;      // 4096 entries; -1 where lspci printed nothing
  bool pciExpress = false;     // its capability list reaches Express before PCI-X
};

// The output of a command (its standard output, whatever its exit status).
std::string Command(const std::string &command);
bool HaveLspci();

// Every function of `lspci -D -nvv -xxxx` text, in lspci's order (domain, bus, device, function).
std::vector<LspciFunction> ParseLspci(const std::string &text);
// The same for a capture file, through `lspci -F`.
std::vector<LspciFunction> Lspci(const std::filesystem::path &capture);

// The functions of one domain that the scan reaches: function 0 of a device, and each further function while
// every lower function of the device is present.
std::vector<LspciFunction> Reached(const std::vector<LspciFunction> &all, unsigned domain);

// A byte as the driver serves it: what lspci printed, 0xFF past the end of what it printed.
unsigned Byte(const LspciFunction &f, int offset);

// The register view's rows (label, value) for the function's bytes.
std::vector<std::pair<std::string, std::string>> ExpectedView(const LspciFunction &f);
// The rows that a `dump` shows in the register view.
std::vector<std::pair<std::string, std::string>> Shown(const nlohmann::ordered_json &dump);
// A device-list row's cells after the first (the class description is the program's own).
nlohmann::ordered_json ListedRow(const LspciFunction &f);

}  // namespace kvtest
