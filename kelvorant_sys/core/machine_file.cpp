#include "core/machine_file.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "core/pci_regs.h"

namespace kvsys {

namespace {

// Objects keep their members in a vector: the kernel has no library code for the tree of a std::map.
using json = nlohmann::ordered_json;

// Two-digit hex bytes with optional white space between them. False with the reason in *why.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t> *out, std::string *why) {
  out->clear();
  size_t at = 0;
  while (true) {
    at = std::min(text.find_first_not_of(" \t\n\r", at), text.size());
    if (at == text.size()) return true;
    if (at + 1 >= text.size() || !IsHexDigit(text[at]) || !IsHexDigit(text[at + 1])) {
      *why = "not a hex byte at character " + std::to_string(at + 1) + " (two hex digits per byte expected)";
      return false;
    }
    out->push_back(static_cast<uint8_t>(HexValue(text[at]) << 4 | HexValue(text[at + 1])));
    at += 2;
  }
}

// The place of a member: "functions[3]" and "config" make "functions[3].config".
std::string Sub(const std::string &place, const std::string &key) { return place.empty() ? key : place + "." + key; }

// Reports the first problem with its place; every check returns false after it.
class Checker {
 public:
  explicit Checker(std::string *why) : why_(why) {}

  bool Fail(const std::string &place, const std::string &reason) {
    *why_ = place + ": " + reason;
    return false;
  }

  bool OnlyKeys(const json &object, const std::string &place, std::initializer_list<const char *> keys) {
    if (!object.is_object()) return Fail(place, "an object expected");
    for (const auto &item : object.items()) {
      bool known = false;
      for (const char *k : keys) known = known || item.key() == k;
      if (!known) return Fail(Sub(place, item.key()), "unknown key");
    }
    return true;
  }

  bool String(const json &object, const char *key, const std::string &place, std::string *out) {
    const json &value = object.at(key);
    if (!value.is_string()) return Fail(Sub(place, key), "a string expected");
    *out = value.get<std::string>();
    return true;
  }

  bool Address(const json &object, const std::string &place, PciAddress *out) {
    if (!object.contains("address")) return Fail(place, "\"address\" missing");
    std::string text, reason;
    if (!String(object, "address", place, &text)) return false;
    if (!ParsePciAddress(text, out, &reason)) return Fail(Sub(place, "address"), reason);
    return true;
  }

  bool Bytes(const json &object, const char *key, const std::string &place, std::vector<uint8_t> *out) {
    std::string text, reason;
    if (!String(object, key, place, &text)) return false;
    if (!ParseHexBytes(text, out, &reason)) return Fail(Sub(place, key), reason);
    return true;
  }

  // An optional unsigned member, at most `max`.
  template <class T>
  bool Number(const json &object, const char *key, const std::string &place, uint64_t max, std::optional<T> *out) {
    if (!object.contains(key)) return true;
    const json &value = object.at(key);
    if (!value.is_number_unsigned() || value.get<uint64_t>() > max)
      return Fail(Sub(place, key), "an integer from 0 to " + std::to_string(max) + " expected");
    *out = static_cast<T>(value.get<uint64_t>());
    return true;
  }

 private:
  std::string *why_;
};

bool ParseFunction(Checker &c, const json &entry, const std::string &place, MachineFileFunction *f) {
  if (!c.OnlyKeys(entry, place, {"address", "config", "writable", "clear_on_write"})) return false;
  if (!c.Address(entry, place, &f->address)) return false;
  if (!entry.contains("config")) return c.Fail(place, "\"config\" missing");
  if (!c.Bytes(entry, "config", place, &f->config)) return false;
  if (f->config.empty() || f->config.size() > kExtendedSize)
    return c.Fail(Sub(place, "config"), std::to_string(f->config.size()) + " bytes (1 to 4096 expected)");
  for (const char *key : {"writable", "clear_on_write"}) {
    if (!entry.contains(key)) continue;
    std::vector<uint8_t> mask;
    if (!c.Bytes(entry, key, place, &mask)) return false;
    if (mask.size() > f->config.size())
      return c.Fail(Sub(place, key), std::to_string(mask.size()) + " bytes, longer than config (" +
                                           std::to_string(f->config.size()) + ")");
    (key[0] == 'w' ? f->writable : f->clear_on_write) = std::move(mask);
  }
  return true;
}

bool ParseFault(Checker &c, const json &entry, const std::string &place, FaultRule *rule) {
  if (!c.OnlyKeys(entry, place, {"address", "request", "skip", "times", "error", "returned", "status"})) return false;
  if (!c.Address(entry, place, &rule->address)) return false;
  if (!entry.contains("request")) return c.Fail(place, "\"request\" missing");
  std::string name;
  if (!c.String(entry, "request", place, &name)) return false;
  const RequestInfo *info = FindRequestByName(name);
  if (!info)
    return c.Fail(Sub(place, "request"), "unknown request \"" + name +
                                          "\" (IOCTL_READ_CONFIG, IOCTL_WRITE_CONFIG, IOCTL_READ_EXT_CONFIG or "
                                          "IOCTL_WRITE_EXT_CONFIG)");
  rule->request = info->code;
  std::optional<uint64_t> skip;
  // An error is a Win32 error code: the low 16 bits of the NTSTATUS that carries it.
  if (!c.Number(entry, "skip", place, UINT32_MAX, &skip) || !c.Number(entry, "times", place, UINT32_MAX, &rule->times) ||
      !c.Number(entry, "error", place, 0xffff, &rule->error))
    return false;
  rule->skip = skip.value_or(0);
  if (rule->error == 0u) return c.Fail(Sub(place, "error"), "0 is success, not an error");
  if (!c.Number(entry, "returned", place, info->size, &rule->returned) ||
      !c.Number(entry, "status", place, UINT32_MAX, &rule->status))
    return false;
  if (rule->error && (rule->returned || rule->status))
    return c.Fail(place, "\"error\" fails the request; it cannot be combined with \"returned\" or \"status\"");
  if (!rule->error && !rule->returned && !rule->status)
    return c.Fail(place, "nothing to do: give \"error\", \"returned\" or \"status\"");
  return true;
}

// The DOM parser that also keeps where and why parsing stopped: json::parse tells neither, not even for a
// number too large for a double (out_of_range 406, which would otherwise escape as an exception).
class Parser : public nlohmann::detail::json_sax_dom_parser<json> {
 public:
  explicit Parser(json &root) : json_sax_dom_parser(root, false) {}
  bool parse_error(std::size_t position, const std::string &token, const nlohmann::detail::exception &e) {
    byte = position;
    what = e.what();
    return json_sax_dom_parser::parse_error(position, token, e);
  }

  std::size_t byte = 0;  // counted from 1, as json::parse_error::byte
  std::string what;
};

// "line L, column C: what" for the first error of a text.
std::string DescribeSyntaxError(std::string_view text, const Parser &error) {
  const std::string_view before = text.substr(0, std::min<size_t>(error.byte ? error.byte - 1 : 0, text.size()));
  const auto line = 1 + std::count(before.begin(), before.end(), '\n');
  const size_t column = before.size() - (before.rfind('\n') + 1) + 1;  // rfind's npos + 1 is 0
  // Without nlohmann's "[json.exception.parse_error.101] parse error at line 3, column 28: " prefix.
  std::string what = error.what;
  if (what.starts_with("[json.exception.")) what = what.substr(what.find("] ") + 2);
  const size_t column_at = what.find("column ");
  if (column_at != std::string::npos && what.find(": ", column_at) != std::string::npos)
    what = what.substr(what.find(": ", column_at) + 2);
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
}

// The entries of the array `list` (when the file has it), each parsed by `parse` at its place "list[i]".
template <class Item>
bool ParseList(Checker &c, const json &root, const char *list,
               bool (*parse)(Checker &, const json &, const std::string &, Item *), std::vector<Item> *out) {
  if (!root.contains(list)) return true;
  const json &entries = root[list];
  for (size_t i = 0; i < entries.size(); ++i) {
    Item item;
    if (!parse(c, entries[i], std::string(list) + "[" + std::to_string(i) + "]", &item)) return false;
    out->push_back(std::move(item));
  }
  return true;
}

}  // namespace

bool ParseMachineFile(std::string_view text, MachineFile *out, std::string *why) {
  json root;
  Parser parser(root);
  if (!json::sax_parse(text.begin(), text.end(), &parser)) {
    *why = DescribeSyntaxError(text, parser);
    return false;
  }
  Checker c(why);
  if (!root.is_object()) return c.Fail("top level", "an object expected");
  if (!c.OnlyKeys(root, "", {"dump", "functions", "faults"})) return false;

  MachineFile file;
  if (root.contains("dump")) {
    std::string dump;
    if (!c.String(root, "dump", "", &dump)) return false;
    if (dump.empty()) return c.Fail("dump", "an empty file name");
    file.dump = dump;
  }
  for (const char *list : {"functions", "faults"}) {
    if (root.contains(list) && !root[list].is_array()) return c.Fail(list, "an array expected");
  }
  if (!ParseList(c, root, "functions", ParseFunction, &file.functions) ||
      !ParseList(c, root, "faults", ParseFault, &file.faults))
    return false;
  *out = std::move(file);
  return true;
}

}  // namespace kvsys
