// VERSIONINFO statements and their binary form: VS_VERSIONINFO with its fixed part, the StringFileInfo
// tables and the VarFileInfo translations, every node being {length, value length, type, key, value}.
#include <strings.h>

#include "rsrc/bytes.h"
#include "rsrc/rc_parser.h"

namespace kvplat::rsrc {

namespace {

struct VersionString {
  std::u16string key, value;
};

struct VersionStringTable {
  std::u16string language;  // e.g. "040904e4"
  std::vector<VersionString> strings;
};

struct VersionBlock {
  bool isStringInfo = false;
  std::vector<VersionStringTable> tables;  // StringFileInfo
  std::u16string varKey;                   // VarFileInfo: "Translation" and its language/code page pairs
  std::vector<uint32_t> translations;
};

struct VersionDef {
  uint32_t fileMS = 0, fileLS = 0, productMS = 0, productLS = 0;
  uint32_t flagsMask = 0, flags = 0, os = 0, type = 0, subtype = 0;
  std::vector<VersionBlock> blocks;
};

// A node's header, patched once the node's extent is known.
std::size_t BeginNode(ByteWriter *w) {
  w->AlignDword();
  std::size_t at = w->Size();
  w->U16(0);
  w->U16(0);
  w->U16(0);
  return at;
}

void EndNode(ByteWriter *w, std::size_t at, std::size_t valueLength, uint16_t type) {
  w->Patch16(at, static_cast<uint16_t>(w->Size() - at));
  w->Patch16(at + 2, static_cast<uint16_t>(valueLength));
  w->Patch16(at + 4, type);
}

std::vector<uint8_t> WriteVersion(const VersionDef &v) {
  constexpr uint16_t kBinary = 0, kText = 1;
  ByteWriter w;
  std::size_t root = BeginNode(&w);
  w.String16(u"VS_VERSION_INFO");
  w.AlignDword();
  for (uint32_t field : {0xFEEF04BDu, 0x00010000u, v.fileMS, v.fileLS, v.productMS, v.productLS, v.flagsMask, v.flags,
                         v.os, v.type, v.subtype, 0u, 0u}) {
    w.U32(field);
  }
  for (const VersionBlock &b : v.blocks) {
    std::size_t block = BeginNode(&w);
    if (b.isStringInfo) {
      w.String16(u"StringFileInfo");
      for (const VersionStringTable &t : b.tables) {
        std::size_t table = BeginNode(&w);
        w.String16(t.language);
        for (const VersionString &s : t.strings) {
          std::size_t node = BeginNode(&w);
          w.String16(s.key);
          w.AlignDword();
          std::size_t value = w.Size();
          w.String16(s.value);
          EndNode(&w, node, (w.Size() - value) / 2, kText);  // in characters, with the terminator
        }
        EndNode(&w, table, 0, kText);
      }
      if (b.tables.empty()) w.AlignDword();
    } else {
      w.String16(u"VarFileInfo");
      std::size_t var = BeginNode(&w);
      w.String16(b.varKey);
      w.AlignDword();
      std::size_t value = w.Size();
      for (uint32_t t : b.translations) w.U32(t);
      EndNode(&w, var, w.Size() - value, kBinary);  // in bytes
    }
    EndNode(&w, block, 0, kText);
  }
  EndNode(&w, root, 52, kBinary);  // sizeof(VS_FIXEDFILEINFO)
  return w.Take();
}

}  // namespace

void ScriptParser::VersionInfo(const ResId &name, const Token &at) {
  VersionDef v;
  auto version = [&](uint32_t *ms, uint32_t *ls) {
    uint32_t part[4] = {Number(), 0, 0, 0};
    for (int i = 1; i < 4 && AtPunct(","); ++i) part[i] = CommaNumber();
    *ms = (part[0] << 16) | (part[1] & 0xFFFF);
    *ls = (part[2] << 16) | (part[3] & 0xFFFF);
  };
  while (!AtBegin()) {
    const Token &field = Next();
    auto is = [&](const char *word) { return field.kind == Token::kIdent && strcasecmp(field.text.c_str(), word) == 0; };
    if (is("FILEVERSION")) {
      version(&v.fileMS, &v.fileLS);
    } else if (is("PRODUCTVERSION")) {
      version(&v.productMS, &v.productLS);
    } else if (is("FILEFLAGSMASK")) {
      v.flagsMask = Number();
    } else if (is("FILEFLAGS")) {
      v.flags = Number();
    } else if (is("FILEOS")) {
      v.os = Number();
    } else if (is("FILETYPE")) {
      v.type = Number();
    } else if (is("FILESUBTYPE")) {
      v.subtype = Number();
    } else {
      Fail(field, "expected BEGIN or a version field, found '" + field.text + "'");
    }
  }
  Next();
  while (!AtEndOfBlock()) {
    ExpectKeyword("BLOCK");
    const Token &blockToken = Peek();
    std::u16string blockName = Text();
    VersionBlock b;
    ExpectBegin();
    if (blockName == u"StringFileInfo") {
      b.isStringInfo = true;
      while (!AtEndOfBlock()) {
        ExpectKeyword("BLOCK");
        VersionStringTable t;
        t.language = Text();
        ExpectBegin();
        while (!AtEndOfBlock()) {
          ExpectKeyword("VALUE");
          VersionString s;
          s.key = Text();
          Expect(",");
          s.value = Text();
          t.strings.push_back(std::move(s));
        }
        Next();
        b.tables.push_back(std::move(t));
      }
    } else if (blockName == u"VarFileInfo") {
      ExpectKeyword("VALUE");
      b.varKey = Text();
      while (AtPunct(",")) {
        uint32_t language = CommaNumber();
        uint32_t codePage = CommaNumber();
        b.translations.push_back((language & 0xFFFF) | (codePage << 16));
      }
    } else {
      Fail(blockToken, "a version block is StringFileInfo or VarFileInfo");
    }
    if (!AtEndOfBlock()) Unexpected("END");
    Next();
    v.blocks.push_back(std::move(b));
  }
  Next();
  Add(ResId::Ordinal(16), name, language_, WriteVersion(v), at);  // RT_VERSION
}

}  // namespace kvplat::rsrc
