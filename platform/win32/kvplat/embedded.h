// A file linked into an executable as bytes (see cmake/EmbedFiles.cmake).
#pragma once
#include <cstddef>

namespace kvplat {

struct EmbeddedFile {
  const char *name;  // base name, e.g. ".rsrc" for a resource section; null ends a table
  const unsigned char *data;
  std::size_t size;
};

}  // namespace kvplat
