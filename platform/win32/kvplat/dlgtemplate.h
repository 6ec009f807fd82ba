// Dialog templates in their binary form (DLGTEMPLATE or DLGTEMPLATEEX, as a resource compiler writes them),
// read into plain data for the dialog manager.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvplat {

struct DialogItemTemplate {
  DWORD helpId = 0;
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  int id = 0;                           // -1 for IDC_STATIC
  std::string className;                // "Button", "Edit", "Static", ... for the predefined atoms
  std::string title;                    // ANSI; empty when given as an ordinal
  int titleOrdinal = -1;                // the ordinal when the title is one (an icon of a static), else -1
  std::vector<uint8_t> creationData;
};

struct DialogTemplate {
  bool extended = false;  // DLGTEMPLATEEX
  DWORD helpId = 0;
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string menu;         // empty: none
  std::string windowClass;  // empty: the dialog class
  std::string title;
  // Present when style has DS_SETFONT.
  WORD pointSize = 0;
  WORD weight = 0;
  BYTE italic = 0;
  BYTE charset = 0;
  std::string typeface;
  std::vector<DialogItemTemplate> items;
};

// Reads a template of at most `size` bytes. On a malformed or truncated template returns false and says
// why in *error (when error is not null); never reads outside [data, data + size).
bool ParseDialogTemplate(const void *data, std::size_t size, DialogTemplate *out, std::string *error);

// The size of the loaded resource that starts at `data`, or 0 when `data` is not the start of one.
std::size_t LoadedResourceSize(const void *data);

}  // namespace kvplat
