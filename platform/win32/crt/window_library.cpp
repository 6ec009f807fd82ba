// Loading the window front end's library from the program's folder (kvplat/window_library.h). It is code of
// this process, so it is looked for nowhere else (not through LD_LIBRARY_PATH or the library search path,
// not in the current directory), opened through the host's one opener (no other user can have changed it
// or a folder above it) and handed to the dynamic loader by that descriptor.
#include <windows.h>
#include <dlfcn.h>
#include <limits.h>

#include <cerrno>

#include <string>

#include "host/opener.h"
#include "kvplat/window_library.h"
#include "kvplat/kernel.h"

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

bool WindowLibraryPath(std::string *path, std::string *error) {
  std::string folder;
  if (!ProgramFolder(&folder, error)) return false;
  *path = (folder == "/" ? "" : folder) + "/" + kWindowLibraryName;
  return true;
}

std::unique_ptr<FrontEnd> LoadWindowFrontEnd(std::string *error) {
  std::string path;
  if (!WindowLibraryPath(&path, error)) return nullptr;
  const std::string named = "the window library " + path;

  kvhost::OpenFailure failure;
  const kvhost::UniqueFd file = kvhost::OpenPath(path, kvhost::OpenFor::kInput, &failure);
  if (!file.valid()) {
    *error = named + " " + (failure.error == ENOENT ? std::string("is missing") : failure.why);
    return nullptr;
  }
  std::string why;
  void *library = LoadModuleFile(file.get(), path, &why);
  if (library == nullptr) {
    *error = named + " cannot be loaded: " + why;
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
