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
// number too large for a double (out_of_range 406, which would otherwise escape as an exception). It also
// stops at what the DOM would hide or pay dearly for: a key given twice in one object (the last would win
// without a word), an object wider or a nesting deeper than a machine file's (an object finds a key by a
// linear search, so a file of 100,000 keys would take seconds and one of millions hours).
class Parser : public nlohmann::detail::json_sax_dom_parser<json> {
  using Base = nlohmann::detail::json_sax_dom_parser<json>;

 public:
  explicit Parser(json &root) : Base(root, false) {}
  bool parse_error(std::size_t position, const std::string &token, const nlohmann::detail::exception &e) {
    byte = position;
    what = e.what();
    return Base::parse_error(position, token, e);
  }
  bool null() { Value(); return Base::null(); }
  bool boolean(bool v) { Value(); return Base::boolean(v); }
  bool number_integer(number_integer_t v) { Value(); return Base::number_integer(v); }
  bool number_unsigned(number_unsigned_t v) { Value(); return Base::number_unsigned(v); }
  bool number_float(number_float_t v, const string_t &text) { Value(); return Base::number_float(v, text); }
  bool string(string_t &v) {
    Value();
    if (v.find('\0') != string_t::npos) return Stop(Place(levels_.size()), "a NUL character (\\u0000) in a string");
    return Base::string(v);
  }
  bool start_object(std::size_t n) { return Open(false) && Base::start_object(n); }
  bool start_array(std::size_t n) { return Open(true) && Base::start_array(n); }
  bool end_object() { levels_.pop_back(); return Base::end_object(); }
  bool end_array() { levels_.pop_back(); return Base::end_array(); }
  bool key(string_t &name) {
    if (name.find('\0') != string_t::npos)
      return Stop(Place(levels_.size() - 1), "a key with a NUL character (\\u0000)");
    std::vector<std::string> &keys = levels_.back().keys;
    if (std::find(keys.begin(), keys.end(), name) != keys.end())
      return Stop(Sub(Place(levels_.size() - 1), name), "given twice (each key once)");
    if (keys.size() == kMaxMembers) {
      return Stop(Place(levels_.size() - 1),
                  "more than " + std::to_string(kMaxMembers) + " members (a machine file's objects have at most 7)");
    }
    keys.push_back(name);
    return Base::key(name);
  }

  std::size_t byte = 0;  // counted from 1, as json::parse_error::byte
  std::string what;
  std::string stopped;  // "PLACE: why" when a check above stopped the parse

 private:
  // The file, its lists and their entries are three levels; a few more let a mistaken value be reported by
  // the checks that follow, at its place.
  static constexpr std::size_t kMaxDepth = 8;
  static constexpr std::size_t kMaxMembers = 16;

  struct Level {
    bool array;
    std::size_t count = 0;          // an array's values so far
    std::vector<std::string> keys;  // an object's keys so far
  };

  // A value starts: in an array, it is the next entry.
  void Value() {
    if (!levels_.empty() && levels_.back().array) ++levels_.back().count;
  }
  bool Open(bool array) {
    Value();
    if (levels_.size() == kMaxDepth)
      return Stop(Place(levels_.size()), "nested deeper than " + std::to_string(kMaxDepth) + " levels");
    levels_.push_back({array, 0, {}});
    return true;
  }
  bool Stop(const std::string &place, const std::string &why) {
    stopped = (place.empty() ? "top level" : place) + ": " + why;
    return false;
  }
  // The place that the first `depth` levels lead to: "functions[3]", "functions[3].config".
  std::string Place(std::size_t depth) const {
    std::string place;
    for (std::size_t i = 0; i < depth; ++i) {
      const Level &level = levels_[i];
      place = level.array ? place + "[" + std::to_string(level.count - 1) + "]" : Sub(place, level.keys.back());
    }
    return place;
  }

  std::vector<Level> levels_;
};

// "line L, column C" of the byte at `offset`.
std::string PlaceOf(std::string_view text, size_t offset) {
  const std::string_view before = text.substr(0, std::min(offset, text.size()));
  const auto line = 1 + std::count(before.begin(), before.end(), '\n');
  const size_t column = before.size() - (before.rfind('\n') + 1) + 1;  // rfind's npos + 1 is 0
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// "line L, column C: what" for the first error of a text.
std::string DescribeSyntaxError(std::string_view text, const Parser &error) {
  // Without nlohmann's "[json.exception.parse_error.101] parse error at line 3, column 28: " prefix.
  std::string what = error.what;
  if (what.starts_with("[json.exception.")) what = what.substr(what.find("] ") + 2);
  const size_t column_at = what.find("column ");
  if (column_at != std::string::npos && what.find(": ", column_at) != std::string::npos)
    what = what.substr(what.find(": ", column_at) + 2);
  return PlaceOf(text, error.byte ? error.byte - 1 : 0) + ": " + what;
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
  // The JSON reader takes a NUL byte for the end of the text, and would not read what follows it.
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) {
    *why = PlaceOf(text, nul) + ": a NUL byte (a machine file is text)";
    return false;
  }
  json root;
  Parser parser(root);
  if (!json::sax_parse(text.begin(), text.end(), &parser)) {
    *why = parser.stopped.empty() ? DescribeSyntaxError(text, parser) : parser.stopped;
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
  // An address once among the functions: a second entry would silently replace the first.
  std::vector<std::pair<uint64_t, size_t>> addresses;  // (domain and index, entry), sorted
  for (size_t i = 0; i < file.functions.size(); ++i) {
    const PciAddress &a = file.functions[i].address;
    addresses.push_back({uint64_t{a.domain} << 16 | a.Index(), i});
  }
  std::sort(addresses.begin(), addresses.end());
  for (size_t i = 1; i < addresses.size(); ++i) {
    if (addresses[i].first != addresses[i - 1].first) continue;
    return c.Fail("functions[" + std::to_string(addresses[i].second) + "].address",
                  FormatAddress(file.functions[addresses[i].second].address) + " is functions[" +
                      std::to_string(addresses[i - 1].second) + "]'s too");
  }
  *out = std::move(file);
  return true;
}

}  // namespace kvsys
