// Icons: LoadIconA decodes every image of an RT_GROUP_ICON into an IconState, and the handle is the
// address of that state. As on Windows, LoadIconA's icons are shared: loading the same group again gives
// the same handle. The system's stock icons (LoadIconA(NULL, ...)) are not here: the program has its own.
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>

#include "kvplat/diag.h"
#include "kvplat/resources.h"
#include "rsrc/icon_formats.h"

namespace kvplat {

namespace {

// Every icon loaded, by its group's resource handle; never freed, so that every handle stays valid.
std::mutex g_mutex;
std::map<HRSRC, std::unique_ptr<IconState>> g_icons;

}  // namespace

// cppcheck-suppress constParameter ; HICON is the SDK's handle type
const IconState *IconFromHandle(HICON icon) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const auto &[group, state] : g_icons) {
    if (reinterpret_cast<HICON>(state.get()) == icon) return state.get();
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
    kvplat::Diag("icon %u, image %u: %s", LOWORD(lpIconName), id, error.c_str());
  }
  if (state.images.empty()) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  auto &icon = kvplat::g_icons[group] = std::make_unique<kvplat::IconState>(std::move(state));
  return reinterpret_cast<HICON>(icon.get());
}

}  // extern "C"
