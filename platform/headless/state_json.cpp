#include "state_json.h"

#include <nlohmann/json.hpp>

#include "kvplat/listview.h"
#include "kvplat/window.h"

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

}  // namespace

std::string DialogStateJson(HWND dialog) {
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
  Json state{{"focus", focusId}, {"lists", std::move(lists)}, {"edits", std::move(edits)}};
  return Json{{"dump", std::move(state)}}.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string MessageBoxJson(const std::string &caption, const std::string &text, UINT type) {
  Json box{{"caption", caption}, {"text", text}, {"type", type}};
  return Json{{"messageBox", std::move(box)}}.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string MachineAnswerJson(const std::string &command, const std::string &answer) {
  Json line{{"command", command}, {"answer", answer}};
  return Json{{"machine", std::move(line)}}.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace kvplat
