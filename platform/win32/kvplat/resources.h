// The executable's resources. The build compiles the resource script with windres and links the .rsrc
// section of its output into the program as bytes (cmake/EmbedFiles.cmake); the start-up code registers
// the image's sections here, and the resource loader reads the one named ".rsrc" as the Windows loader
// reads a resource section. What the platform reads from it: dialog templates and icons.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvplat {

// A file linked into an executable as bytes.
struct EmbeddedFile {
  const char *name;  // base name, e.g. ".rsrc" for a resource section; null ends a table
  const unsigned char *data;
  std::size_t size;
};

// `sections` ends with a null entry; null, or a table without ".rsrc", leaves the module without resources.
void RegisterModuleResources(const EmbeddedFile *sections);

// The size of the loaded resource that starts at `data`, or 0 when `data` is not the start of one.
std::size_t LoadedResourceSize(const void *data);

// Dialog templates in their binary form (DLGTEMPLATE or DLGTEMPLATEEX, as a resource compiler writes them),
// read into plain data for the dialog manager.
struct DialogItemTemplate {
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  int id = 0;                           // -1 for IDC_STATIC
  std::string className;                // "Button", "Edit", "Static", ... for the predefined atoms
  std::string title;                    // ANSI; empty when given as an ordinal
};

struct DialogTemplate {
  bool extended = false;  // DLGTEMPLATEEX
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string title;
  // Present when style has DS_SETFONT.
  WORD pointSize = 0;
  std::string typeface;
  std::vector<DialogItemTemplate> items;
};

// Reads a template of at most `size` bytes. On a malformed or truncated template returns false and says
// why in *error (when error is not null); never reads outside [data, data + size).
bool ParseDialogTemplate(const void *data, std::size_t size, DialogTemplate *out, std::string *error);

// What an HICON is inside the platform: every image of the icon group it was loaded from, decoded.
struct IconImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> argb;  // width * height pixels, top row first, 0xAARRGGBB
};

struct IconState {
  std::vector<IconImage> images;  // in the group's order
};

// The state behind an icon handle, its images decoded by the first call; null when the handle is not an icon.
const IconState *IconFromHandle(HICON icon);

}  // namespace kvplat
