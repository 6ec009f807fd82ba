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

using Json = nlohmann::ordered_json;

Json ListJson(const ListViewState &list) {
  Json columns = Json::array(), widths = Json::array(), rows = Json::array();
  for (const ListViewColumn &c : list.columns) {
    columns.push_back(c.text);
    widths.push_back(c.width);
  }
  for (const ListViewItem &item : list.items) {
    Json cells = Json::array();
    for (const ListViewColumn &c : list.columns) cells.push_back(item.Text(c.subItem));
    rows.push_back(Json{{"cells", std::move(cells)}, {"data", static_cast<long long>(item.data)}, {"state", item.state}});
  }
  return Json{{"columns", std::move(columns)}, {"widths", std::move(widths)}, {"mark", list.selectionMark},
              {"rows", std::move(rows)}};
}

// {"focus":ID,"lists":{"ID":{"columns":[...],"widths":[...],"mark":M,"rows":[{"cells":[...],"data":D,
// "state":S}]}},"edits":{"ID":"text"}}, controls in the dialog's tab order.
Json DialogDump(HWND dialog) {
  Json lists = Json::object(), edits = Json::object();
  Window *w = FindWindowState(dialog);
  for (HWND child : w ? w->children : std::vector<HWND>{}) {
    Window *c = FindWindowState(child);
    std::string id = std::to_string(c->id);
    if (auto *list = dynamic_cast<ListViewState *>(c->state.get())) lists[id] = ListJson(*list);
    else if (c->className == "Edit") edits[id] = c->text;
  }
  Json focusId = nullptr;
  if (Window *focus = FindWindowState(GetFocus()); focus && focus->parent == dialog) focusId = focus->id;
  return Json{{"focus", focusId}, {"lists", std::move(lists)}, {"edits", std::move(edits)}};
}

// One line of the dump: {"KEY":VALUE}, with text that is no UTF-8 replaced.
std::string JsonLine(const char *key, Json value) {
  return Json{{key, std::move(value)}}.dump(-1, ' ', false, Json::error_handler_t::replace);
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
    WriteLine(JsonLine("messageBox", {{"caption", caption}, {"text", text}, {"type", type}}));
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
    const std::string line = json + "\n";
    if (std::fputs(line.c_str(), out_) == EOF || std::fflush(out_) != 0) {
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
        if (!text.empty()) WriteLine(JsonLine("machine", {{"command", action.machine}, {"answer", text}}));
        return true;
      }
      case script::Verb::Dump:
        WriteLine(JsonLine("dump", DialogDump(dialog)));
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
