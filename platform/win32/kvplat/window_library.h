// The window front end is a platform library beside the program, as comctl32.dll lies beside a Windows
// program's system: kelvorant-window.so, loaded only when a window is asked for, so that a headless run maps
// neither FLTK nor the X libraries. The library holds no platform state of its own: it calls the window
// manager and the list view of the program, which exports for it exactly the functions it imports
// (platform/window/platform_imports.list), and it exports one entry point.
#pragma once
#include <memory>
#include <string>

#include "kvplat/frontend.h"

namespace kvplat {

// The library's file name, in the program's own folder.
inline constexpr char kWindowLibraryName[] = "kelvorant-window.so";

// Its entry point: opens the display and returns the front end, or null with the reason in *error. The
// front end is deleted by the program; the library stays loaded until the process ends.
inline constexpr char kWindowLibraryEntryName[] = "KvCreateWindowFrontEnd";
using WindowLibraryEntry = FrontEnd *(*)(std::string *error);

// The library's path: in the folder of the running program. False, with the reason in *error, when that
// folder cannot be found.
bool WindowLibraryPath(std::string *path, std::string *error);

// Loads the library from the folder of the running program (never through the library search path or the
// current directory) after checking it as the platform checks what it trusts: a regular file, not a link,
// belonging to this process's user or root and writable by no other user, in a folder that no other user
// can change. Then opens the window front end through it. Null, with the reason in *error, when the library
// is missing, untrusted or cannot be loaded, or when there is no display.
std::unique_ptr<FrontEnd> LoadWindowFrontEnd(std::string *error);

}  // namespace kvplat
