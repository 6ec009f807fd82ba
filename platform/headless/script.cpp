#include "script.h"

#include <charconv>
#include <sstream>

namespace kvplat::script {

namespace {

struct KeyName {
  const char *name;
  UINT vk;
};
const KeyName kKeys[] = {{"Enter", VK_RETURN}, {"Escape", VK_ESCAPE}, {"Up", VK_UP},     {"Down", VK_DOWN},
                         {"Home", VK_HOME},    {"End", VK_END},       {"Tab", VK_TAB},   {"Space", VK_SPACE},
                         {"PageUp", VK_PRIOR}, {"PageDown", VK_NEXT}, {"Left", VK_LEFT}, {"Right", VK_RIGHT}};

bool ParseInt(const std::string &word, int *value) {
  if (word.empty()) return false;
  const char *begin = word.data(), *end = word.data() + word.size();
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    begin += 2;
    base = 16;
  }
  auto [ptr, ec] = std::from_chars(begin, end, *value, base);
  return ec == std::errc() && ptr == end;
}

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// One line's action, or an error text.
bool ParseLine(const std::string &line, Action *action, std::string *why) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  const std::string &verb = words[0];
  auto needs = [&](size_t n, const char *usage) {
    if (words.size() == n) return true;
    *why = std::string("usage: ") + usage;
    return false;
  };
  auto number = [&](size_t i, int *value, const char *what) {
    if (ParseInt(words[i], value)) return true;
    *why = std::string("not a ") + what + ": " + words[i];
    return false;
  };
  if (verb == "click") {
    action->verb = Verb::Click;
    return needs(2, "click ID") && number(1, &action->id, "control id");
  }
  if (verb == "click-row") {
    action->verb = Verb::ClickRow;
    return needs(3, "click-row ID ROW") && number(1, &action->id, "control id") && number(2, &action->row, "row");
  }
  if (verb == "click-empty") {
    action->verb = Verb::ClickEmpty;
    return needs(2, "click-empty ID") && number(1, &action->id, "control id");
  }
  if (verb == "focus") {
    action->verb = Verb::Focus;
    return needs(2, "focus ID") && number(1, &action->id, "control id");
  }
  if (verb == "key") {
    action->verb = Verb::Key;
    if (!needs(2, "key KEY")) return false;
    for (const KeyName &k : kKeys)
      if (words[1] == k.name) {
        action->key = k.vk;
        return true;
      }
    *why = "unknown key: " + words[1];
    return false;
  }
  if (verb == "close") {
    action->verb = Verb::Close;
    return needs(1, "close");
  }
  if (verb == "dump") {
    action->verb = Verb::Dump;
    return needs(1, "dump");
  }
  if (verb == "sleep") {
    action->verb = Verb::Sleep;
    if (!needs(2, "sleep MS") || !number(1, &action->milliseconds, "number of milliseconds")) return false;
    if (action->milliseconds >= 0) return true;
    *why = "negative sleep";
    return false;
  }
  if (verb == "machine") {
    action->verb = Verb::Machine;
    if (words.size() < 3) {
      *why = "usage: machine reset|poke|unplug|plug BB:DD.F ...";
      return false;
    }
    std::string rest = Trim(line);
    action->machine = Trim(rest.substr(rest.find(' ')));
    return true;
  }
  *why = "unknown action: " + verb;
  return false;
}

}  // namespace

std::vector<Action> Parse(const std::string &text) {
  std::vector<Action> actions;
  std::istringstream in(text);
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    line = Trim(line);
    if (line.empty()) continue;
    Action action;
    action.line = lineNumber;
    if (!ParseLine(line, &action, &action.error)) action.verb = Verb::Invalid;
    actions.push_back(action);
  }
  return actions;
}

}  // namespace kvplat::script
