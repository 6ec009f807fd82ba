#include "core/machine_file.h"

#include <nlohmann/json.hpp>

#include "core/pci_regs.h"

namespace kvsys {

namespace {

// Objects keep their members in a vector: the kernel has no library code for the tree of a std::map.
using json = nlohmann::ordered_json;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

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

  bool Unsigned(const json &object, const char *key, const std::string &place, uint64_t max, uint64_t *out) {
    const json &value = object.at(key);
    if (!value.is_number_unsigned() || value.get<uint64_t>() > max)
      return Fail(Sub(place, key), "an integer from 0 to " + std::to_string(max) + " expected");
    *out = value.get<uint64_t>();
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
  const RequestInfo *info = FindRequestByName(name.data(), name.size());
  if (!info)
    return c.Fail(Sub(place, "request"), "unknown request \"" + name +
                                          "\" (IOCTL_READ_CONFIG, IOCTL_WRITE_CONFIG, IOCTL_READ_EXT_CONFIG or "
                                          "IOCTL_WRITE_EXT_CONFIG)");
  rule->request = info->kind;
  uint64_t value = 0;
  if (entry.contains("skip")) {
    if (!c.Unsigned(entry, "skip", place, UINT32_MAX, &value)) return false;
    rule->skip = value;
  }
  if (entry.contains("times")) {
    if (!c.Unsigned(entry, "times", place, UINT32_MAX, &value)) return false;
    rule->times = value;
  }
  if (entry.contains("error")) {
    // A Win32 error code: the low 16 bits of the NTSTATUS that carries it.
    if (!c.Unsigned(entry, "error", place, 0xffff, &value)) return false;
    if (value == 0) return c.Fail(Sub(place, "error"), "0 is success, not an error");
    rule->error = static_cast<uint32_t>(value);
  }
  if (entry.contains("returned")) {
    if (!c.Unsigned(entry, "returned", place, info->size, &value)) return false;
    rule->returned = static_cast<uint32_t>(value);
  }
  if (entry.contains("status")) {
    if (!c.Unsigned(entry, "status", place, UINT32_MAX, &value)) return false;
    rule->status = static_cast<uint32_t>(value);
  }
  if (rule->error && (rule->returned || rule->status))
    return c.Fail(place, "\"error\" fails the request; it cannot be combined with \"returned\" or \"status\"");
  if (!rule->error && !rule->returned && !rule->status)
    return c.Fail(place, "nothing to do: give \"error\", \"returned\" or \"status\"");
  return true;
}

// Where and why parsing stops. json::parse gives the place of a syntax error but not of a number too large
// for a double (out_of_range 406, which would otherwise escape as an exception); its SAX interface reports
// both with their position.
class ErrorLocator : public json::json_sax_t {
 public:
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(json::number_integer_t) override { return true; }
  bool number_unsigned(json::number_unsigned_t) override { return true; }
  bool number_float(json::number_float_t, const json::string_t &) override { return true; }
  bool string(json::string_t &) override { return true; }
  bool binary(json::binary_t &) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(json::string_t &) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t position, const std::string &, const json::exception &e) override {
    byte = position;
    what = e.what();
    return false;
  }

  std::size_t byte = 0;  // counted from 1, as json::parse_error::byte
  std::string what;
};

// "line L, column C: what" for the first error of a text that json::parse refused.
std::string DescribeSyntaxError(std::string_view text) {
  ErrorLocator error;
  json::sax_parse(text.begin(), text.end(), &error);
  size_t line = 1, column = 1;
  for (size_t i = 0; i + 1 < error.byte && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
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

bool ParseHexBytes(std::string_view text, std::vector<uint8_t> *out, std::string *why) {
  out->clear();
  size_t at = 0;
  while (true) {
    while (at < text.size() && IsSpace(text[at])) ++at;
    if (at == text.size()) return true;
    if (at + 1 >= text.size() || !IsHexDigit(text[at]) || !IsHexDigit(text[at + 1])) {
      *why = "not a hex byte at character " + std::to_string(at + 1) + " (two hex digits per byte expected)";
      return false;
    }
    out->push_back(static_cast<uint8_t>(HexValue(text[at]) << 4 | HexValue(text[at + 1])));
    at += 2;
  }
}

bool ParseMachineFile(std::string_view text, MachineFile *out, std::string *why) {
  // Without exceptions: a text that does not parse comes back discarded.
  json root = json::parse(text.begin(), text.end(), nullptr, false);
  if (root.is_discarded()) {
    *why = DescribeSyntaxError(text);
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
