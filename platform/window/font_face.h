// The face that serves a dialog's font, found through fontconfig as FLTK's Xft fonts are. A face that the
// system lacks but a Debian package installs outside fontconfig's folders (Wine's Tahoma, in fonts-wine) is
// added to the fonts of the process.
#pragma once
#include <string>
#include <string_view>

#include "dialog_font.h"

namespace kvplat::window {

// Where fonts-wine installs Wine's faces, which are metrically those of Windows.
inline constexpr const char *kWineFontDir = "/usr/share/wine/fonts";

struct ServedFace {
  bool found = false;   // whether the face asked for is there
  std::string family;   // the face asked for when found; else the sans face that stands in for it
  FaceMetrics metrics;  // the face's own, when found (zero when its file cannot be read)
};

// Looks for `face` (a name after SubstituteFace). When it is missing, says so once for each face on standard
// error, with the package that has it, and names the stand-in. `packageDir` is where the packaged faces are
// looked for.
ServedFace FindFace(std::string_view face, const std::string &packageDir = kWineFontDir);

}  // namespace kvplat::window
