// Icons: LoadIconA decodes every image of an RT_GROUP_ICON into an IconState, and the handle is the
// address of that state. As on Windows, LoadIconA's icons are shared: loading the same group again gives
// the same handle, and DestroyIcon leaves a shared icon alone. LoadIconA(NULL, IDI_APPLICATION) gives the
// system's stock application icon, drawn here.
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
  HICON stockApplication = nullptr;
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

// The stock application icon: a plain window with a blue caption, at 32 and 16 pixels.
IconImage StockWindow(int size) {
  IconImage image;
  image.width = image.height = size;
  image.bitCount = 32;
  image.argb.assign(static_cast<std::size_t>(size) * size, 0);
  const int left = size / 16, top = size / 8, right = size - size / 16, bottom = size - size / 8;
  const int caption = top + size / 8 + 1;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      bool frame = x == left || x == right - 1 || y == top || y == bottom - 1;
      uint32_t c = frame ? 0xFF404040u : y < caption ? 0xFF0A246Au : 0xFFFFFFFFu;
      image.argb[static_cast<std::size_t>(y) * size + x] = c;
    }
  }
  return image;
}

HICON LoadStockIcon(IconTable &table, LPCSTR name) {
  if (!IS_INTRESOURCE(name) || LOWORD(name) != LOWORD(IDI_APPLICATION)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  if (!table.stockApplication) {
    IconState state;
    state.images = {StockWindow(32), StockWindow(16)};
    table.stockApplication = Register(table, std::move(state));
  }
  return table.stockApplication;
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
  if (!hInstance) return kvplat::LoadStockIcon(table, lpIconName);

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

BOOL WINAPI DestroyIcon(HICON hIcon) {
  if (!kvplat::IconFromHandle(hIcon)) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  return TRUE;  // every icon of LoadIconA is shared and stays valid
}

}  // extern "C"
