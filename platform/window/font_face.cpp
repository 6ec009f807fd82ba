#include "font_face.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <memory>
#include <set>

#include "kvplat/diag.h"

namespace kvplat::window {

namespace {

const FcChar8 *Fc(const char *text) { return reinterpret_cast<const FcChar8 *>(text); }

bool SameName(const std::string &a, const char *b) { return FcStrCmpIgnoreCase(Fc(a.c_str()), Fc(b)) == 0; }

// The faces that a Debian package installs outside fontconfig's folders.
struct PackagedFace {
  const char *family;
  const char *file;
  const char *package;
};
constexpr PackagedFace kPackagedFaces[] = {
    {"Tahoma", "tahoma.ttf", "fonts-wine"},
    {"MS Sans Serif", "ms_sans_serif.ttf", "fonts-wine"},
};

const PackagedFace *FindPackagedFace(const std::string &family) {
  for (const PackagedFace &p : kPackagedFaces)
    if (SameName(family, p.family)) return &p;
  return nullptr;
}

struct PatternDeleter {
  void operator()(FcPattern *p) const { FcPatternDestroy(p); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

// fontconfig's best match for a family, as Xft asks for it.
Pattern Match(const std::string &family) {
  Pattern request(FcPatternCreate());
  if (!request) return nullptr;
  FcPatternAddString(request.get(), FC_FAMILY, Fc(family.c_str()));
  FcConfigSubstitute(nullptr, request.get(), FcMatchPattern);
  FcDefaultSubstitute(request.get());
  FcResult result;
  return Pattern(FcFontMatch(nullptr, request.get(), &result));
}

// Whether a match is of the family asked for, under any of its names, rather than a substitute.
bool IsOf(const Pattern &match, const std::string &family) {
  if (!match) return false;
  FcChar8 *name = nullptr;
  for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &name) == FcResultMatch; ++i)
    if (SameName(family, reinterpret_cast<const char *>(name))) return true;
  return false;
}

std::string FamilyOf(const FcPattern *match) {
  FcChar8 *name = nullptr;
  if (!match || FcPatternGetString(match, FC_FAMILY, 0, &name) != FcResultMatch) return "an unknown face";
  return reinterpret_cast<const char *>(name);
}

// The OS/2 table's Windows ascent and descent (the horizontal header's when they are zero).
FaceMetrics ReadMetrics(const FcPattern *match) {
  FcChar8 *file = nullptr;
  int index = 0;
  if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) return {};
  FcPatternGetInteger(match, FC_INDEX, 0, &index);
  FT_Library library;
  if (FT_Init_FreeType(&library) != 0) return {};
  FaceMetrics metrics;
  FT_Face face;
  if (FT_New_Face(library, reinterpret_cast<const char *>(file), index, &face) == 0) {
    metrics.unitsPerEm = face->units_per_EM;
    metrics.winAscent = face->ascender;
    metrics.winDescent = -face->descender;
    const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
      metrics.winAscent = os2->usWinAscent;
      metrics.winDescent = os2->usWinDescent;
    }
    FT_Done_Face(face);
  }
  FT_Done_FreeType(library);
  return metrics;
}

}  // namespace

ServedFace FindFace(std::string_view faceName, const std::string &packageDir) {
  const std::string face(faceName);
  Pattern match = Match(face);
  const PackagedFace *packaged = FindPackagedFace(face);
  if (!IsOf(match, face) && packaged) {
    const std::string path = packageDir + "/" + packaged->file;
    if (FcConfigAppFontAddFile(nullptr, Fc(path.c_str()))) match = Match(face);
  }
  if (IsOf(match, face)) return ServedFace{true, face, ReadMetrics(match.get())};

  ServedFace standIn{false, FamilyOf(Match("sans").get()), {}};
  static std::set<std::string> reported;
  if (reported.insert(face).second) {
    const std::string package = packaged ? std::string(" (Debian package ") + packaged->package + ")" : "";
    Diag("the dialog font %s is not installed%s: dialogs are drawn in %s, whose texts may not fit their controls",
         face.c_str(), package.c_str(), standIn.family.c_str());
  }
  return standIn;
}

}  // namespace kvplat::window
