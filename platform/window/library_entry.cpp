// The entry point of the window library kelvorant-window.so (kvplat/window_library.h), the one symbol that
// the library exports (library.map).
#include <type_traits>

#include "kvplat/window_library.h"
#include "window_frontend.h"

extern "C" kvplat::FrontEnd *KvCreateWindowFrontEnd(std::string *error) {
  return kvplat::MakeWindowFrontEnd(error).release();
}

static_assert(std::is_same_v<decltype(&KvCreateWindowFrontEnd), kvplat::WindowLibraryEntry>,
              "the entry point has the type that the program's start-up calls it through");
