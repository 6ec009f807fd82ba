// The executable's resources: FindResourceA / LoadResource / LockResource / SizeofResource over the resource
// section that RegisterModuleResources names. The section's tree is checked once, when a resource is first
// looked up; an HRSRC is the address of the resource's IMAGE_RESOURCE_DATA_ENTRY in the section, and
// LoadResource gives the address of its data there, as on Windows.
#include <windows.h>

#include <cstring>
#include <mutex>

#include "kvplat/diag.h"
#include "kvplat/resources.h"
#include "rsrc/section.h"

namespace kvplat {

namespace {

using rsrc::SectionEntry;

struct Section {
  const uint8_t *data = nullptr;  // null: the module has no resource section
  std::size_t size = 0;
  bool checked = false;
  bool readable = false;
  std::vector<SectionEntry> entries;
};

std::mutex g_mutex;
Section g_section;

// The section with its tree read, said once when it cannot be.
const Section &Checked() {
  if (!g_section.checked) {
    g_section.checked = true;
    std::string error;
    g_section.readable = rsrc::ReadResourceSection(g_section.data, g_section.size, &g_section.entries, &error);
    if (!g_section.readable) Diag("the resource section cannot be read: %s", error.c_str());
  }
  return g_section;
}

// The resource behind a handle that FindResourceA returned, or null with ERROR_INVALID_HANDLE.
// cppcheck-suppress constParameter ; HRSRC is the SDK's handle type
const SectionEntry *FromHandle(HRSRC handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const SectionEntry &e : g_section.entries) {
    if (reinterpret_cast<HRSRC>(const_cast<uint8_t *>(g_section.data + e.entryOffset)) == handle) return &e;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

}  // namespace

void RegisterModuleResources(const EmbeddedFile *sections) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const EmbeddedFile *s = sections;
  while (s && s->name && std::strcmp(s->name, ".rsrc") != 0) ++s;
  const uint8_t *data = s && s->name ? s->data : nullptr;
  if (data != g_section.data) g_section = Section{data, data ? s->size : 0, false, false, {}};
}

std::size_t LoadedResourceSize(const void *data) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const SectionEntry &e : g_section.entries) {
    if (e.size != 0 && g_section.data + e.dataOffset == data) return e.size;
  }
  return 0;
}

}  // namespace kvplat

extern "C" {

// Any module handle stands for the executable: it is the only module with resources. Resources are asked
// for by integer (MAKEINTRESOURCE), as MFC asks for them.
HRSRC WINAPI FindResourceA(HMODULE, LPCSTR lpName, LPCSTR lpType) {
  std::lock_guard<std::mutex> lock(kvplat::g_mutex);
  if (!kvplat::g_section.data || !kvplat::Checked().readable) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  if (!IS_INTRESOURCE(lpName) || !IS_INTRESOURCE(lpType)) {
    kvplat::ReportUnimplemented("FindResourceA by a name that is no integer resource");
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  uint32_t error = 0;
  const kvplat::SectionEntry *entry =
      kvplat::rsrc::FindSectionEntry(kvplat::g_section.entries, LOWORD(lpType), LOWORD(lpName), &error);
  if (!entry) {
    SetLastError(error);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<uint8_t *>(kvplat::g_section.data + entry->entryOffset));
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
  const kvplat::SectionEntry *entry = kvplat::FromHandle(hResInfo);
  return entry ? const_cast<uint8_t *>(kvplat::g_section.data + entry->dataOffset) : nullptr;
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
  const kvplat::SectionEntry *entry = kvplat::FromHandle(hResInfo);
  return entry ? entry->size : 0;
}

}  // extern "C"
