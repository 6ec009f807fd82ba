#include "script.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

namespace kvplat::script {

namespace {

// A line of a script is bounded as a line of a dump is: nothing longer is an action.
constexpr size_t kMaxLineBytes = size_t{64} * 1024;
// The longest a script may wait, in one line and in all: a run that waits longer is taken for one that hangs.
constexpr int kMaxSleepMilliseconds = 10 * 60 * 1000;
// A control id as WM_COMMAND reports it (its low word).
constexpr int kMaxControlId = 0xFFFF;
constexpr int kMaxRow = 0x7FFFFFFF;

struct KeyName {
  const char *name;
  UINT vk;
};
const KeyName kKeys[] = {{"Enter", VK_RETURN}, {"Escape", VK_ESCAPE}, {"Up", VK_UP},     {"Down", VK_DOWN},
                         {"Home", VK_HOME},    {"End", VK_END},       {"Tab", VK_TAB},   {"Space", VK_SPACE},
                         {"PageUp", VK_PRIOR}, {"PageDown", VK_NEXT}, {"Left", VK_LEFT}, {"Right", VK_RIGHT}};

// Words are separated by spaces and tabs, and by nothing else.
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    size_t end = at;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    if (end > at) words.push_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

// The first control character of a line (C0 but the tab, or DEL): none belongs to an action, and one would
// split or hide words differently for a reader than for the parser.
size_t FindControlCharacter(std::string_view line) {
  for (size_t i = 0; i < line.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if ((c < 0x20 && c != '\t') || c == 0x7F) return i;
  }
  return std::string_view::npos;
}

// The one form of a number: decimal digits, or 0x and hex digits; no sign, no blank, at most `max`.
bool ParseNumber(std::string_view word, int max, int *value) {
  int base = 10;
  if (word.size() > 2 && word.starts_with("0x")) {
    word.remove_prefix(2);
    base = 16;
  }
  unsigned long long v = 0;  // unsigned: from_chars takes no sign for it
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), v, base);
  if (word.empty() || error != std::errc() || end != word.data() + word.size() || v > static_cast<unsigned>(max))
    return false;
  *value = static_cast<int>(v);
  return true;
}

// The action of a line's words (at least one), or false with the reason in *why.
bool ParseWords(const std::vector<std::string_view> &words, Action *action, std::string *why) {
  const std::string_view verb = words[0];
  auto needs = [&](size_t n, const char *usage) {
    if (words.size() == n) return true;
    *why = std::string("usage: ") + usage;
    return false;
  };
  auto number = [&](size_t i, int max, int *value, const char *what) {
    if (ParseNumber(words[i], max, value)) return true;
    *why = std::string("not a ") + what + " (0 to " + std::to_string(max) + "): " + std::string(words[i]);
    return false;
  };
  if (verb == "click") {
    action->verb = Verb::Click;
    return needs(2, "click ID") && number(1, kMaxControlId, &action->id, "control id");
  }
  if (verb == "click-row") {
    action->verb = Verb::ClickRow;
    return needs(3, "click-row ID ROW") && number(1, kMaxControlId, &action->id, "control id") &&
           number(2, kMaxRow, &action->row, "row");
  }
  if (verb == "click-empty") {
    action->verb = Verb::ClickEmpty;
    return needs(2, "click-empty ID") && number(1, kMaxControlId, &action->id, "control id");
  }
  if (verb == "focus") {
    action->verb = Verb::Focus;
    return needs(2, "focus ID") && number(1, kMaxControlId, &action->id, "control id");
  }
  if (verb == "key") {
    action->verb = Verb::Key;
    if (!needs(2, "key KEY")) return false;
    for (const KeyName &k : kKeys)
      if (words[1] == k.name) {
        action->key = k.vk;
        return true;
      }
    *why = "unknown key: " + std::string(words[1]);
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
    return needs(2, "sleep MS") && number(1, kMaxSleepMilliseconds, &action->milliseconds, "number of milliseconds");
  }
  if (verb == "machine") {
    action->verb = Verb::Machine;
    if (words.size() < 3) {
      *why = "usage: machine reset|poke|unplug|plug|writes BB:DD.F ...";
      return false;
    }
    for (size_t i = 1; i < words.size(); ++i) {
      if (i > 1) action->machine += ' ';
      action->machine += words[i];
    }
    return true;
  }
  *why = "unknown action: " + std::string(verb);
  return false;
}

// The action of one line, or nothing for a line without one (blank, or a comment alone).
std::optional<Action> ParseLine(std::string_view line, int lineNumber) {
  Action action;
  action.line = lineNumber;
  action.verb = Verb::Invalid;
  if (line.ends_with('\r')) line.remove_suffix(1);  // a line end written as CR LF
  if (line.size() > kMaxLineBytes) {  // refused whole, its comment included
    action.error = "longer than " + std::to_string(kMaxLineBytes) + " bytes";
    return action;
  }
  line = line.substr(0, line.find('#'));
  if (const size_t at = FindControlCharacter(line); at != std::string_view::npos) {
    char text[64];
    std::snprintf(text, sizeof text, "control character 0x%02x at byte %zu", static_cast<unsigned char>(line[at]), at + 1);
    action.error = text;
    return action;
  }
  const std::vector<std::string_view> words = SplitWords(line);
  if (words.empty()) return std::nullopt;
  if (!ParseWords(words, &action, &action.error)) action.verb = Verb::Invalid;
  return action;
}

}  // namespace

std::vector<Action> Parse(const std::string &text) {
  std::vector<Action> actions;
  std::string_view rest = text;
  // A byte-order mark, as some editors begin a UTF-8 file with, is not part of the first line.
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
  long long slept = 0;
  for (int lineNumber = 1; !rest.empty(); ++lineNumber) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    std::optional<Action> action = ParseLine(line, lineNumber);
    if (!action) continue;
    if (action->verb == Verb::Sleep && (slept += action->milliseconds) > kMaxSleepMilliseconds) {
      action->verb = Verb::Invalid;
      action->error = "the script's sleeps come to more than " + std::to_string(kMaxSleepMilliseconds) + " milliseconds";
    }
    actions.push_back(std::move(*action));
  }
  return actions;
}

}  // namespace kvplat::script
