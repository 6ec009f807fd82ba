// Icons: LoadIconA decodes every image of an RT_GROUP_ICON into an IconState, and the handle is the
// address of that state. As on Windows, LoadIconA's icons are shared: loading the same group again gives
// the same handle. The system's stock icons (LoadIconA(NULL, ...)) are not here: the program has its own.
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "kvplat/diag.h"
#include "kvplat/resources.h"
#include "rsrc/icon_formats.h"

namespace kvplat {

namespace {

struct IconTable {
  std::mutex mutex;
  std::vector<std::unique_ptr<IconState>> icons;  // never freed: every handle stays valid
  std::set<const IconState *> valid;
  std::map<HRSRC, HICON> byGroup;
};

IconTable &GetIconTable() {
  static IconTable table;
  return table;
}

HICON Register(IconTable &table, IconState state) {
  table.icons.push_back(std::make_unique<IconState>(std::move(state)));
  table.valid.insert(table.icons.back().get());
  return reinterpret_cast<HICON>(table.icons.back().get());
}

std::string NameOf(LPCSTR name) { return IS_INTRESOURCE(name) ? std::to_string(LOWORD(name)) : std::string(name); }

}  // namespace

const IconState *IconFromHandle(HICON icon) {
  IconTable &table = GetIconTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  const IconState *state = reinterpret_cast<const IconState *>(icon);
  return table.valid.count(state) ? state : nullptr;
}

}  // namespace kvplat

extern "C" {

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
  kvplat::IconTable &table = kvplat::GetIconTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (!hInstance) {
    kvplat::ReportUnimplemented("LoadIconA(NULL, ...): the system's stock icons");
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  HMODULE module = hInstance;
  HRSRC group = FindResourceA(module, lpIconName, RT_GROUP_ICON);
  if (!group) return nullptr;
  auto cached = table.byGroup.find(group);
  if (cached != table.byGroup.end()) return cached->second;

  std::vector<uint16_t> ids;
  std::string error;
  if (!kvplat::rsrc::ReadGroupIconDirectory(LockResource(LoadResource(module, group)), SizeofResource(module, group),
                                            &ids, &error)) {
    kvplat::Diag("icon %s: %s", kvplat::NameOf(lpIconName).c_str(), error.c_str());
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  // Every image is decoded, so that a front end can pick the size it draws; one that cannot be read is
  // left out and said so.
  kvplat::IconState state;
  for (uint16_t id : ids) {
    HRSRC image = FindResourceA(module, MAKEINTRESOURCE(id), RT_ICON);
    kvplat::IconImage decoded;
    if (!image) {
      error = "no such image";
    } else if (kvplat::rsrc::DecodeIconImage(LockResource(LoadResource(module, image)), SizeofResource(module, image),
                                             &decoded, &error)) {
      state.images.push_back(std::move(decoded));
      continue;
    }
    kvplat::Diag("icon %s, image %u: %s", kvplat::NameOf(lpIconName).c_str(), id, error.c_str());
  }
  if (state.images.empty()) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  HICON icon = kvplat::Register(table, std::move(state));
  table.byGroup[group] = icon;
  return icon;
}

}  // extern "C"
