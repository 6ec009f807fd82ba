// Icons: LoadIconA decodes every image of an RT_GROUP_ICON into an IconState, and the handle is the
// address of that state. As on Windows, LoadIconA's icons are shared: loading the same group again gives
// the same handle. The system's stock icons (LoadIconA(NULL, ...)) are not here: the program has its own.
#include <windows.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "kvplat/diag.h"
#include "kvplat/icon.h"
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

// The image shown at SM_CXICON x SM_CYICON (32 x 32): the deepest 32 x 32 image, else the nearest size,
// deepest first among equals.
int PreferredImage(const std::vector<IconImage> &images) {
  int best = 0;
  auto distance = [](const IconImage &i) { return std::abs(i.width - 32) + std::abs(i.height - 32); };
  for (int i = 1; i < static_cast<int>(images.size()); ++i) {
    int d = distance(images[i]), bestD = distance(images[best]);
    if (d < bestD || (d == bestD && images[i].bitCount > images[best].bitCount)) best = i;
  }
  return best;
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

  std::vector<kvplat::rsrc::GroupIconEntry> entries;
  std::string error;
  if (!kvplat::rsrc::ReadGroupIconDirectory(LockResource(LoadResource(module, group)), SizeofResource(module, group),
                                            &entries, &error)) {
    kvplat::Diag("icon %s: %s", kvplat::NameOf(lpIconName).c_str(), error.c_str());
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  // Every image is decoded, so that a front end can pick the size it draws; one that cannot be read is
  // left out and said so.
  kvplat::IconState state;
  for (const kvplat::rsrc::GroupIconEntry &e : entries) {
    HRSRC image = FindResourceA(module, MAKEINTRESOURCE(e.id), RT_ICON);
    kvplat::IconImage decoded;
    if (!image) {
      error = "no such image";
    } else if (kvplat::rsrc::DecodeIconImage(LockResource(LoadResource(module, image)), SizeofResource(module, image),
                                             &decoded, &error)) {
      state.images.push_back(std::move(decoded));
      continue;
    }
    kvplat::Diag("icon %s, image %u: %s", kvplat::NameOf(lpIconName).c_str(), e.id, error.c_str());
  }
  if (state.images.empty()) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  state.preferred = kvplat::PreferredImage(state.images);
  HICON icon = kvplat::Register(table, std::move(state));
  table.byGroup[group] = icon;
  return icon;
}

}  // extern "C"
