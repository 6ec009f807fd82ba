// Icons: LoadIconA checks every image of an RT_GROUP_ICON, and the handle is the address of what it
// loaded; the images are decoded into an IconState when a front end first asks for them (a run without a
// window never does). As on Windows, LoadIconA's icons are shared: loading the same group again gives
// the same handle. The system's stock icons (LoadIconA(NULL, ...)) are not here: the program has its own.
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "kvplat/diag.h"
#include "kvplat/resources.h"
#include "rsrc/icon_formats.h"

namespace kvplat {

namespace {

struct LoadedIcon {
  IconState state;
  std::vector<std::pair<const void *, DWORD>> undecoded;  // images checked by LoadIconA, not decoded yet
};

// Every icon loaded, by its group's resource handle; never freed, so that every handle stays valid.
std::mutex g_mutex;
std::map<HRSRC, std::unique_ptr<LoadedIcon>> g_icons;

}  // namespace

// cppcheck-suppress constParameter ; HICON is the SDK's handle type
const IconState *IconFromHandle(HICON icon) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto &entry : g_icons) {
    LoadedIcon &loaded = *entry.second;
    if (reinterpret_cast<HICON>(&loaded) != icon) continue;
    for (const auto &[data, size] : loaded.undecoded) {
      IconImage image;
      rsrc::DecodeIconImage(data, size, &image, nullptr);  // cannot fail: LoadIconA checked it
      loaded.state.images.push_back(std::move(image));
    }
    loaded.undecoded.clear();
    return &loaded.state;
  }
  return nullptr;
}

}  // namespace kvplat

extern "C" {

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
  std::lock_guard<std::mutex> lock(kvplat::g_mutex);
  if (!hInstance) {
    kvplat::ReportUnimplemented("LoadIconA(NULL, ...): the system's stock icons");
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  HMODULE module = hInstance;
  HRSRC group = FindResourceA(module, lpIconName, RT_GROUP_ICON);
  if (!group) return nullptr;
  if (auto cached = kvplat::g_icons.find(group); cached != kvplat::g_icons.end())
    return reinterpret_cast<HICON>(cached->second.get());

  std::vector<uint16_t> ids;
  std::string error;
  if (!kvplat::rsrc::ReadGroupIconDirectory(LockResource(LoadResource(module, group)), SizeofResource(module, group),
                                            &ids, &error)) {
    kvplat::Diag("icon %u: %s", LOWORD(lpIconName), error.c_str());  // found: an integer resource
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  // Every image is kept, so that a front end can pick the size it draws; one that cannot be read is left
  // out and said so.
  auto loaded = std::make_unique<kvplat::LoadedIcon>();
  for (uint16_t id : ids) {
    HRSRC image = FindResourceA(module, MAKEINTRESOURCE(id), RT_ICON);
    if (!image) {
      error = "no such image";
    } else if (const std::pair bytes{LockResource(LoadResource(module, image)), SizeofResource(module, image)};
               kvplat::rsrc::DecodeIconImage(bytes.first, bytes.second, nullptr, &error)) {
      loaded->undecoded.push_back(bytes);
      continue;
    }
    kvplat::Diag("icon %u, image %u: %s", LOWORD(lpIconName), id, error.c_str());
  }
  if (loaded->undecoded.empty()) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return reinterpret_cast<HICON>((kvplat::g_icons[group] = std::move(loaded)).get());
}

}  // extern "C"
