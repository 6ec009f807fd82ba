// ICON statements: every image of the .ico file becomes an RT_ICON resource, numbered across the script
// from 1, and the statement's name an RT_GROUP_ICON that lists them.
#include "rsrc/bytes.h"
#include "rsrc/icon_formats.h"
#include "rsrc/rc_parser.h"

namespace kvplat::rsrc {

void ScriptParser::Icon(const ResId &name, const Token &at) {
  SkipMemoryFlags();
  if (Peek().kind != Token::kString) Unexpected("the icon's file name");
  const Token &fileToken = Peek();
  std::string path = fileToken.text;
  Text();
  int file = FindScriptFile(files_, path);
  if (file < 0) Fail(fileToken, "cannot find icon file '" + path + "'");
  const std::string &bytes = files_[file].content;
  std::vector<IcoEntry> entries;
  std::string error;
  if (!ReadIcoDirectory(bytes.data(), bytes.size(), &entries, &error)) Fail(fileToken, path + ": " + error);

  ByteWriter group;
  group.U16(0);
  group.U16(1);  // icons, not cursors
  group.U16(static_cast<uint16_t>(entries.size()));
  for (const IcoEntry &e : entries) {
    const uint8_t *image = reinterpret_cast<const uint8_t *>(bytes.data()) + e.offset;
    Add(ResId::Ordinal(3), ResId::Ordinal(++iconCount_), language_,  // RT_ICON
        std::vector<uint8_t>(image, image + e.bytes), at);
    // Some files leave planes and bit count at zero; they are then derived from the colour count.
    uint16_t bits = 0;
    while ((1u << bits) < e.colorCount) ++bits;
    group.U8(e.width);
    group.U8(e.height);
    group.U8(e.colorCount);
    group.U8(0);
    group.U16(e.planes ? e.planes : 1);
    group.U16(e.bitCount ? e.bitCount : bits);
    group.U32(e.bytes);
    group.U16(static_cast<uint16_t>(iconCount_));
  }
  Add(ResId::Ordinal(14), name, language_, group.Take(), at);  // RT_GROUP_ICON
}

}  // namespace kvplat::rsrc
