#include "core/test_port.h"

#include <cstdio>
#include <vector>

#include "core/pci_regs.h"
#include "core/sim_machine.h"

namespace kvsys {

namespace {

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    size_t end = at;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

ControlResult Refuse(ControlResult result, std::string *why, std::string text) {
  *why = std::move(text);
  return result;
}

}  // namespace

ControlResult RunTestPortCommand(SimMachine &machine, std::string_view command, std::string *text) {
  const std::vector<std::string_view> words = SplitWords(command);
  if (words.empty()) return Refuse(ControlResult::kMalformed, text, "empty machine command");
  const std::string_view verb = words[0];
  const bool is_poke = verb == "poke";
  if (verb != "reset" && verb != "unplug" && verb != "plug" && verb != "writes" && !is_poke)
    return Refuse(ControlResult::kMalformed, text,
                  "unknown machine command \"" + std::string(verb) + "\" (reset, poke, unplug, plug or writes)");
  if (is_poke ? words.size() < 4 : words.size() != 2)
    return Refuse(ControlResult::kMalformed, text,
                  is_poke ? "usage: poke BB:DD.F OFFSET XX [XX ...]" : "usage: " + std::string(verb) + " BB:DD.F");

  PciAddress address;
  std::string bad;
  if (!ParsePciAddress(words[1], &address, &bad)) return Refuse(ControlResult::kMalformed, text, bad);
  const FunctionIndex fn = address.Index();
  if (!address.has_domain) address.domain = machine.domain();
  if (address.domain != machine.domain() || !machine.Has(fn))
    return Refuse(ControlResult::kNoFunction, text, "no function " + FormatAddress(address) + " in this machine");

  if (verb == "writes") {
    const std::vector<RegisterWrite> writes = machine.TakeWrites(fn);
    *text = writes.empty() ? "none" : "";
    const char *separator = "";
    for (const RegisterWrite &write : writes) {
      char word[16];
      std::snprintf(word, sizeof word, "%s%x/%u", separator, write.offset, write.width);
      *text += word;
      separator = " ";
    }
  } else if (verb == "reset") {
    machine.Reset(fn);
  } else if (verb == "unplug" || verb == "plug") {
    machine.SetPlugged(fn, verb == "plug");
  } else {
    std::string_view offset_text = words[2];
    if (offset_text.starts_with("0x") || offset_text.starts_with("0X")) offset_text.remove_prefix(2);
    uint32_t offset = 0;
    if (!ParseHex(offset_text, 3, &offset))
      return Refuse(ControlResult::kMalformed, text, "poke: \"" + std::string(words[2]) + "\" is not a hex offset 0-fff");
    std::vector<uint8_t> bytes;
    for (size_t i = 3; i < words.size(); ++i) {
      uint32_t value = 0;
      if (!ParseHex(words[i], 2, &value))
        return Refuse(ControlResult::kMalformed, text, "poke: \"" + std::string(words[i]) + "\" is not a hex byte");
      bytes.push_back(static_cast<uint8_t>(value));
    }
    if (!machine.Poke(fn, offset, bytes)) {
      char line[160];
      std::snprintf(line, sizeof line, "poke: %zu bytes at 0x%x pass the end of the %zu-byte image of %s", bytes.size(),
                    offset, machine.Image(fn).size(), FormatAddress(address).c_str());
      return Refuse(ControlResult::kMalformed, text, line);
    }
  }
  return ControlResult::kDone;
}

}  // namespace kvsys
