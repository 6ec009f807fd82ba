// The executable's resources: FindResourceA / FindResourceExA / LoadResource / LockResource /
// SizeofResource over the resource section that RegisterModuleResources names. The section's tree is
// checked once, when a resource is first looked up; an HRSRC is the address of the resource's
// IMAGE_RESOURCE_DATA_ENTRY in the section, and LoadResource gives the address of its data there, as on
// Windows. Every section registered is kept, so that handles and data from one stay valid when a test
// registers another.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "kvplat/diag.h"
#include "kvplat/dlgtemplate.h"
#include "kvplat/resources.h"
#include "rsrc/codepage.h"
#include "rsrc/section.h"

namespace kvplat {

namespace {

using rsrc::ResourceId;
using rsrc::SectionEntry;

struct Section {
  const uint8_t *data = nullptr;
  std::size_t size = 0;
  bool checked = false;
  bool readable = false;
  std::vector<SectionEntry> entries;
};

struct Registry {
  std::mutex mutex;
  std::deque<Section> sections;
  Section *current = nullptr;  // null: the module has no resource section
};

Registry &GetRegistry() {
  static Registry registry;
  return registry;
}

// The section with its tree read, said once when it cannot be.
const Section &Checked(Section &section) {
  if (!section.checked) {
    section.checked = true;
    std::string error;
    section.readable = rsrc::ReadResourceSection(section.data, section.size, &section.entries, &error);
    if (!section.readable) Diag("the resource section cannot be read: %s", error.c_str());
  }
  return section;
}

// A type or name as FindResourceA takes it: an integer resource, "#123", or a string in code page 1252,
// compared with its ASCII letters in upper case, as windres stores names.
ResourceId IdOf(LPCSTR query) {
  ResourceId id;
  if (IS_INTRESOURCE(query)) {
    id.ordinal = LOWORD(query);
    return id;
  }
  if (query[0] == '#') {
    char *end = nullptr;
    unsigned long n = std::strtoul(query + 1, &end, 10);
    if (*end == '\0' && end != query + 1 && n <= 0xFFFF) {
      id.ordinal = static_cast<uint16_t>(n);
      return id;
    }
  }
  id.named = true;
  id.name = rsrc::DecodeAnsi(query);
  for (char16_t &c : id.name) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return id;
}

// The section and the resource behind a handle that FindResourceA returned, or false with
// ERROR_INVALID_HANDLE.
// cppcheck-suppress constParameter ; HRSRC is the SDK's handle type
bool FromHandle(HRSRC handle, const Section **section, const SectionEntry **entry) {
  Registry &reg = GetRegistry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  for (const Section &s : reg.sections) {
    for (const SectionEntry &e : s.entries) {
      if (reinterpret_cast<HRSRC>(const_cast<uint8_t *>(s.data + e.entryOffset)) != handle) continue;
      *section = &s;
      *entry = &e;
      return true;
    }
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

}  // namespace

void RegisterModuleResources(const EmbeddedFile *sections) {
  Registry &reg = GetRegistry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  reg.current = nullptr;
  for (const EmbeddedFile *s = sections; s && s->name; ++s) {
    if (std::strcmp(s->name, ".rsrc") != 0) continue;
    for (Section &known : reg.sections) {
      if (known.data == s->data && known.size == s->size) reg.current = &known;
    }
    if (!reg.current) reg.current = &reg.sections.emplace_back(Section{s->data, s->size, false, false, {}});
    return;
  }
}

std::size_t LoadedResourceSize(const void *data) {
  Registry &reg = GetRegistry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  for (const Section &s : reg.sections) {
    for (const SectionEntry &e : s.entries) {
      if (e.size != 0 && s.data + e.dataOffset == data) return e.size;
    }
  }
  return 0;
}

}  // namespace kvplat

using kvplat::GetRegistry;

extern "C" {

// Any module handle stands for the executable: it is the only module with resources.
HRSRC WINAPI FindResourceExA(HMODULE, LPCSTR lpType, LPCSTR lpName, WORD wLanguage) {
  auto &reg = GetRegistry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  if (!reg.current || !kvplat::Checked(*reg.current).readable) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  uint32_t error = 0;
  const kvplat::SectionEntry *entry = kvplat::rsrc::FindSectionEntry(reg.current->entries, kvplat::IdOf(lpType),
                                                                      kvplat::IdOf(lpName), wLanguage, &error);
  if (!entry) {
    SetLastError(error);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<uint8_t *>(reg.current->data + entry->entryOffset));
}

HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
  return FindResourceExA(hModule, lpType, lpName, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
  const kvplat::Section *section = nullptr;
  const kvplat::SectionEntry *entry = nullptr;
  if (!kvplat::FromHandle(hResInfo, &section, &entry)) return nullptr;
  return const_cast<uint8_t *>(section->data + entry->dataOffset);
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
  const kvplat::Section *section = nullptr;
  const kvplat::SectionEntry *entry = nullptr;
  return kvplat::FromHandle(hResInfo, &section, &entry) ? entry->size : 0;
}

}  // extern "C"
