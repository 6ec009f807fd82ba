// Loading the window front end's library from the program's folder (kvplat/window_library.h). The program
// runs as root, so the library is looked for nowhere else (not through LD_LIBRARY_PATH or the library search
// path, not in the current directory) and loaded only when no other user can have written it.
#include <windows.h>
#include <dlfcn.h>
#include <limits.h>

#include <string>

#include "host/host_files.h"
#include "kvplat/window_library.h"
#include "ntoskrnl/module_image.h"

namespace kvplat {

namespace {

// The folder that holds the running program: the executable's own path, with links resolved by the kernel.
bool ProgramFolder(std::string *folder, std::string *error) {
  std::string path(PATH_MAX, '\0');
  const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) {
    *error = "the program's own path cannot be found (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  path.resize(length);
  const size_t slash = path.find_last_of('/');
  *folder = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
  return true;
}

}  // namespace

std::unique_ptr<FrontEnd> LoadWindowFrontEnd(std::string *error) {
  std::string folder;
  if (!ProgramFolder(&folder, error)) return nullptr;
  const std::string path = (folder == "/" ? "" : folder) + "/" + kWindowLibraryName;
  const std::string named = "the window library " + path;

  std::string why;
  {
    const kvhost::UniqueFd file = kvhost::OpenTrustedFile(path, &why);
    if (!file.valid()) {
      *error = named + " " + why;
      return nullptr;
    }
    // A cut-off library would map, and kill the process at the first touch of a page past its end.
    if (!ModuleImageIsWhole(file.get(), &why)) {
      *error = named + " cannot be loaded: " + why;
      return nullptr;
    }
  }
  // A path with a slash: the dynamic loader searches nowhere.
  void *library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char *reason = ::dlerror();
    *error = named + " cannot be loaded: " + (reason ? reason : "the dynamic loader refuses it");
    return nullptr;
  }
  auto entry = reinterpret_cast<WindowLibraryEntry>(::dlsym(library, kWindowLibraryEntryName));
  if (entry == nullptr) {
    *error = named + " has no entry point " + kWindowLibraryEntryName;
    ::dlclose(library);
    return nullptr;
  }
  // The library stays loaded to the end of the process: FLTK keeps its display and fonts until then.
  return std::unique_ptr<FrontEnd>(entry(error));
}

}  // namespace kvplat
