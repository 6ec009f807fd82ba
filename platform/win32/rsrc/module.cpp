// The executable's resources: the files that RegisterModuleResources names are compiled on first use,
// and FindResourceA / LoadResource / LockResource / SizeofResource serve the result. Every compiled set
// is kept for the life of the process, so that resource handles and data pointers stay valid as they do
// in a loaded image, even when a test registers another table.
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <strings.h>

#include "kvplat/diag.h"
#include "kvplat/dlgtemplate.h"
#include "kvplat/resources.h"
#include "rsrc/codepage.h"
#include "rsrc/rc_script.h"

namespace kvplat {

namespace {

using rsrc::ResId;
using rsrc::Resource;

struct Module {
  std::vector<Resource> resources;
};

struct Registry {
  std::mutex mutex;
  const EmbeddedFile *files = nullptr;
  Module *current = nullptr;  // null until compiled
  std::vector<std::unique_ptr<Module>> modules;
};

Registry &GetRegistry() {
  static Registry registry;
  return registry;
}

std::unique_ptr<Module> Compile(const EmbeddedFile *files) {
  std::vector<rsrc::ScriptFile> table;
  for (const EmbeddedFile *f = files; f && f->name; ++f) {
    table.push_back({f->name, std::string(reinterpret_cast<const char *>(f->data), f->size)});
  }
  auto module = std::make_unique<Module>();
  std::string error;
  if (!table.empty() && !rsrc::CompileScript(table, &module->resources, &error)) {
    Diag("%s", error.c_str());
    module->resources.clear();
  }
  return module;
}

// The compiled resources of the executable (compiling them now if needed), with the registry locked.
const Module &CurrentModule(Registry &reg) {
  if (!reg.current) {
    reg.modules.push_back(Compile(reg.files));
    reg.current = reg.modules.back().get();
  }
  return *reg.current;
}

// Whether a resource id matches a name or type as FindResourceA takes it: an integer resource, "#123",
// or a string compared without regard to case.
bool Matches(const ResId &id, LPCSTR query) {
  if (IS_INTRESOURCE(query)) return !id.named && id.id == LOWORD(query);
  if (query[0] == '#') {
    char *end = nullptr;
    unsigned long n = std::strtoul(query + 1, &end, 10);
    return *end == '\0' && end != query + 1 && !id.named && id.id == n;
  }
  return id.named && strcasecmp(rsrc::EncodeAnsi(id.name).c_str(), query) == 0;
}

// The resource behind a handle that FindResourceA returned, or null with ERROR_INVALID_HANDLE. Compiled
// resources never change, so the result may be read after the lock is gone.
// cppcheck-suppress constParameter ; HRSRC is the SDK's handle type
const Resource *FromHandle(HRSRC handle) {
  Registry &reg = GetRegistry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  for (const auto &m : reg.modules) {
    for (const Resource &r : m->resources) {
      if (reinterpret_cast<HRSRC>(const_cast<Resource *>(&r)) == handle) return &r;
    }
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

// A resource with no bytes still loads to a valid, non-null address.
const uint8_t kEmpty[1] = {0};

const void *DataOf(const Resource &r) { return r.data.empty() ? kEmpty : r.data.data(); }

}  // namespace

void RegisterModuleResources(const EmbeddedFile *files) {
  Registry &reg = GetRegistry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  reg.files = files;
  reg.current = nullptr;
}

std::size_t LoadedResourceSize(const void *data) {
  Registry &reg = GetRegistry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  for (const auto &m : reg.modules) {
    for (const Resource &r : m->resources) {
      if (!r.data.empty() && r.data.data() == data) return r.data.size();
    }
  }
  return 0;
}

}  // namespace kvplat

using kvplat::GetRegistry;

extern "C" {

// Any module handle stands for the executable: it is the only module with resources.
HRSRC WINAPI FindResourceA(HMODULE, LPCSTR lpName, LPCSTR lpType) {
  auto &reg = GetRegistry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  const kvplat::Module &module = kvplat::CurrentModule(reg);
  if (module.resources.empty()) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  bool typeFound = false;
  for (const kvplat::Resource &r : module.resources) {
    if (!kvplat::Matches(r.type, lpType)) continue;
    typeFound = true;
    if (kvplat::Matches(r.name, lpName)) return reinterpret_cast<HRSRC>(const_cast<kvplat::Resource *>(&r));
  }
  SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
  const kvplat::Resource *r = kvplat::FromHandle(hResInfo);
  return r ? const_cast<void *>(kvplat::DataOf(*r)) : nullptr;
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
  const kvplat::Resource *r = kvplat::FromHandle(hResInfo);
  return r ? static_cast<DWORD>(r->data.size()) : 0;
}

}  // extern "C"
