// The headless front end: runs the script's actions against the dialog, one a line, and writes JSON lines
// for `dump` actions and for every message box.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <commctrl.h>

#include <nlohmann/json.hpp>

#include "headless.h"
#include "host/termination.h"
#include "kvplat/diag.h"
#include "kvplat/frontend.h"
#include "kvplat/listview.h"
#include "kvplat/kernel.h"
#include "kvplat/window.h"
#include "script.h"

namespace kvplat {

namespace {

// A JSON line, written as it is built: no document tree, whose destructor allocates (a dump of a machine of
// 65,536 functions is 6 MB of text and ten times that as a tree), so that memory running out while a line
// is made is an exception like any other. Strings are escaped as nlohmann escapes them, text that is no
// UTF-8 replaced.
class JsonText {
 public:
  JsonText &Open(char bracket) {
    Separate();
    text_ += bracket;
    first_ = true;
    return *this;
  }
  JsonText &Close(char bracket) {
    text_ += bracket;
    first_ = false;
    return *this;
  }
  JsonText &Key(std::string_view key) {
    String(key);
    text_ += ':';
    first_ = true;
    return *this;
  }
  JsonText &String(std::string_view text) {
    Separate();
    text_ += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return *this;
  }
  JsonText &Number(long long number) {
    Separate();
    text_ += std::to_string(number);
    return *this;
  }
  JsonText &Null() {
    Separate();
    text_ += "null";
    return *this;
  }
  std::string Take() { return std::move(text_); }

 private:
  void Separate() {
    if (!first_) text_ += ',';
    first_ = false;
  }
  std::string text_;
  bool first_ = true;
};

// {"columns":[...],"widths":[...],"mark":M,"rows":[{"cells":[...],"data":D,"state":S}]}
void WriteList(JsonText &json, const ListViewState &list) {
  json.Open('{').Key("columns").Open('[');
  for (const ListViewColumn &c : list.columns) json.String(c.text);
  json.Close(']').Key("widths").Open('[');
  for (const ListViewColumn &c : list.columns) json.Number(c.width);
  json.Close(']').Key("mark").Number(list.selectionMark).Key("rows").Open('[');
  for (const ListViewItem &item : list.items) {
    json.Open('{').Key("cells").Open('[');
    for (const ListViewColumn &c : list.columns) json.String(item.Text(c.subItem));
    json.Close(']').Key("data").Number(static_cast<long long>(item.data)).Key("state").Number(item.state).Close('}');
  }
  json.Close(']').Close('}');
}

// {"dump":{"focus":ID,"lists":{"ID":LIST},"edits":{"ID":"text"}}}, controls in the dialog's tab order.
std::string DumpLine(HWND dialog) {
  Window *w = FindWindowState(dialog);
  const std::vector<HWND> children = w ? w->children : std::vector<HWND>{};
  JsonText json;
  json.Open('{').Key("dump").Open('{').Key("focus");
  if (Window *focus = FindWindowState(GetFocus()); focus && focus->parent == dialog) {
    json.Number(focus->id);
  } else {
    json.Null();
  }
  json.Key("lists").Open('{');
  for (HWND child : children) {
    Window *c = FindWindowState(child);
    if (auto *list = dynamic_cast<ListViewState *>(c->state.get())) WriteList(json.Key(std::to_string(c->id)), *list);
  }
  json.Close('}').Key("edits").Open('{');
  for (HWND child : children) {
    Window *c = FindWindowState(child);
    if (c->className == "Edit") json.Key(std::to_string(c->id)).String(c->text);
  }
  return json.Close('}').Close('}').Close('}').Take();
}

class HeadlessFrontEnd : public FrontEnd {
 public:
  HeadlessFrontEnd(const std::string &script, std::FILE *out, std::string outName, bool emptyFirst,
                   ScriptSurroundings surroundings)
      : actions_(script::Parse(script)),
        out_(out),
        outName_(std::move(outName)),
        emptyFirst_(emptyFirst),
        surroundings_(std::move(surroundings)) {}
  ~HeadlessFrontEnd() override { EmptyOutputOnce(); }

  int TextWidth(std::string_view text) override { return static_cast<int>(text.size()) * kHeadlessCharWidth; }
  int BaseUnitX() override { return kHeadlessCharWidth; }
  int BaseUnitY() override { return kHeadlessLineHeight; }

  void RunModalLoop(HWND dialog) override {
    SendMessageA(dialog, WM_PAINT, 0, 0);
    // An output that cannot be written (the JSON dump, the trace) ends the run: what it should have
    // recorded is lost, so the actions after it would be done for nothing. A termination signal ends it
    // too, looked for before every action: an action is done whole or not at all.
    while (!IsDialogEnded(dialog)) {
      if (TerminationRequested()) {
        signalled_ = true;
        break;
      }
      if (next_ >= actions_.size() || OutputFailed()) break;
      const script::Action &action = actions_[next_++];
      std::string why;
      if (!Perform(dialog, action, &why)) {
        Diag("script line %d: %s", action.line, why.c_str());
        failed_ = true;
        break;
      }
    }
    // After the last action (or a failed one) the dialog closes as by its close box.
    if (!IsDialogEnded(dialog)) input::CloseBox(dialog);
  }

  void ShowMessageBox(HWND, const std::string &text, const std::string &caption, UINT type) override {
    JsonText json;
    json.Open('{').Key("messageBox").Open('{').Key("caption").String(caption).Key("text").String(text);
    WriteLine(json.Key("type").Number(type).Close('}').Close('}').Take());
  }

  bool Failed() override {
    if (!failed_ && !signalled_ && next_ < actions_.size() && !OutputFailed()) {
      // A line that is no action says why, whether the dialog is there or not.
      const script::Action &action = actions_[next_];
      const bool invalid = action.verb == script::Verb::Invalid;
      Diag("script line %d: %s", action.line, invalid ? action.error.c_str() : "the dialog has closed before this action");
      failed_ = true;
    }
    return failed_;
  }

 private:
  // The old lines of the output go at the first line of this run, or at its end.
  void EmptyOutputOnce() {
    if (!emptyFirst_) return;
    emptyFirst_ = false;
    struct stat st;
    if (::fstat(::fileno(out_), &st) != 0 || !S_ISREG(st.st_mode)) return;  // a device or a FIFO keeps nothing
    if (std::fflush(out_) != 0 || ::ftruncate(::fileno(out_), 0) != 0) {
      ReportOutputFailure("the JSON dump", outName_.c_str(), errno);
    }
  }

  void WriteLine(const std::string &json) {
    EmptyOutputOnce();
    if (std::fputs(json.c_str(), out_) == EOF || std::fputc('\n', out_) == EOF || std::fflush(out_) != 0) {
      ReportOutputFailure("the JSON dump", outName_.c_str(), errno);
    }
  }

  // The control an action names, as a person would find it: there, a list view when `list` says so, visible
  // and enabled.
  static bool FindControl(HWND dialog, int id, bool list, HWND *control, std::string *why) {
    const std::string name = "control " + std::to_string(id);
    *control = GetDlgItem(dialog, id);
    if (!*control) *why = "the dialog has no " + name;
    else if (list && !StateOf<ListViewState>(*control)) *why = name + " is not a list view";
    else if (!IsWindowVisible(*control) || !IsWindowEnabled(*control)) *why = name + " is hidden or disabled";
    else return true;
    return false;
  }

  bool Perform(HWND dialog, const script::Action &action, std::string *why) {
    HWND control = nullptr;
    switch (action.verb) {
      case script::Verb::Invalid:
        *why = action.error;
        return false;
      case script::Verb::Click:
        if (!FindControl(dialog, action.id, false, &control, why)) return false;
        if (input::Click(control)) return true;
        *why = "control " + std::to_string(action.id) + " has no area to click";
        return false;
      case script::Verb::ClickRow:
        if (!FindControl(dialog, action.id, true, &control, why)) return false;
        if (static_cast<size_t>(action.row) >= StateOf<ListViewState>(control)->items.size()) {
          *why = "list " + std::to_string(action.id) + " has no row " + std::to_string(action.row);
          return false;
        }
        if (input::ClickListRow(control, action.row, 0)) return true;
        *why = "list " + std::to_string(action.id) + " cannot show row " + std::to_string(action.row);
        return false;
      case script::Verb::ClickEmpty:
        if (!FindControl(dialog, action.id, true, &control, why)) return false;
        if (input::ClickListEmpty(control)) return true;
        *why = "list " + std::to_string(action.id) + " shows no space below its last row";
        return false;
      case script::Verb::Key:
        input::Key(dialog, action.key);
        return true;
      case script::Verb::Focus:
        if (!FindControl(dialog, action.id, false, &control, why)) return false;
        SetFocus(control);
        return true;
      case script::Verb::Close:
        input::CloseBox(dialog);
        return true;
      case script::Verb::Sleep:
        surroundings_.sleep(action.milliseconds);  // cut short by a signal, seen before the next action
        return true;
      case script::Verb::Machine: {
        // A command that answers (`writes`) has its answer written as a line of its own.
        std::string text;
        if (!surroundings_.machine(action.machine, &text)) {
          *why = text;
          return false;
        }
        if (!text.empty()) {
          JsonText json;
          json.Open('{').Key("machine").Open('{').Key("command").String(action.machine).Key("answer").String(text);
          WriteLine(json.Close('}').Close('}').Take());
        }
        return true;
      }
      case script::Verb::Dump:
        WriteLine(DumpLine(dialog));
        return true;
    }
    return false;
  }

  std::vector<script::Action> actions_;
  size_t next_ = 0;
  std::FILE *out_;
  std::string outName_;
  bool emptyFirst_;
  ScriptSurroundings surroundings_;
  bool failed_ = false;
  bool signalled_ = false;  // the actions ended for a termination signal
};

}  // namespace

ScriptSurroundings RealScriptSurroundings() {
  return {[](int milliseconds) { kvhost::SleepUnlessSignalled(milliseconds); }, SendMachineCommand};
}

std::unique_ptr<FrontEnd> MakeHeadlessFrontEnd(const std::string &script, std::FILE *out,
                                               const std::string &outName, bool emptyFirst,
                                               ScriptSurroundings surroundings) {
  return std::make_unique<HeadlessFrontEnd>(script, out, outName, emptyFirst, std::move(surroundings));
}

}  // namespace kvplat
