// Reading dialog templates, DLGTEMPLATE and DLGTEMPLATEEX, into plain data. Pure: only the given bytes
// are read, through a reader that stops at their end.
#include "kvplat/resources.h"

#include "rsrc/bytes.h"
#include "rsrc/codepage.h"

namespace kvplat {

namespace {

using rsrc::ByteReader;

// A template's counts come from its own bytes; a item needs at least this many of them.
constexpr std::size_t kMinItemSize = 18;

struct NameOrOrdinal {
  std::u16string name;
  int ordinal = -1;
};

// sz_Or_Ord: 0x0000 for none, 0xFFFF and a 16-bit ordinal, or a zero-terminated UTF-16 string.
NameOrOrdinal ReadNameOrOrdinal(ByteReader &r) {
  NameOrOrdinal v;
  ByteReader peek = r;
  uint16_t first = peek.U16();
  if (peek.ok() && first == 0xFFFF) {
    r.U16();
    v.ordinal = r.U16();
  } else {
    v.name = r.String16();
  }
  return v;
}

// Window classes given by ordinal are spelled "#n", as resource names are.
std::string NameText(const NameOrOrdinal &v) {
  if (v.ordinal < 0) return rsrc::EncodeAnsi(v.name);
  std::string text = "#";
  text += std::to_string(v.ordinal);
  return text;
}

std::string ClassText(const NameOrOrdinal &v) {
  static const char *const kAtoms[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
  if (v.ordinal >= 0x80 && v.ordinal <= 0x85) return kAtoms[v.ordinal - 0x80];
  return NameText(v);
}

bool Fail(std::string *error, const std::string &why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool ParseDialogTemplate(const void *data, std::size_t size, DialogTemplate *out, std::string *error) {
  if (!data) return Fail(error, "no template");
  ByteReader r(data, size);
  DialogTemplate t;
  uint16_t count;
  {
    ByteReader peek = r;
    uint16_t version = peek.U16();
    uint16_t signature = peek.U16();
    t.extended = peek.ok() && version == 1 && signature == 0xFFFF;
  }
  if (t.extended) {
    r.Skip(8);  // the signature, the help id
    t.exStyle = r.U32();
    t.style = r.U32();
  } else {
    t.style = r.U32();
    t.exStyle = r.U32();
  }
  count = r.U16();
  t.x = static_cast<short>(r.U16());
  t.y = static_cast<short>(r.U16());
  t.cx = static_cast<short>(r.U16());
  t.cy = static_cast<short>(r.U16());
  ReadNameOrOrdinal(r);  // the menu: dialogs here have none
  const NameOrOrdinal windowClass = ReadNameOrOrdinal(r);
  t.title = rsrc::EncodeAnsi(r.String16());
  if (t.style & DS_SETFONT) {
    t.pointSize = r.U16();
    if (t.extended) r.Skip(4);  // weight, italic, character set
    t.typeface = rsrc::EncodeAnsi(r.String16());
  }
  if (!r.ok()) return Fail(error, "the dialog header is truncated");
  if (windowClass.ordinal >= 0 || !windowClass.name.empty())
    return Fail(error, "the dialog has a window class of its own");
  if (count > size / kMinItemSize) return Fail(error, "the template claims more items than it can hold");

  t.items.reserve(count);
  for (int i = 0; i < count; ++i) {
    r.AlignDword();
    DialogItemTemplate item;
    if (t.extended) {
      r.Skip(4);  // the help id
      item.exStyle = r.U32();
      item.style = r.U32();
    } else {
      item.style = r.U32();
      item.exStyle = r.U32();
    }
    item.x = static_cast<short>(r.U16());
    item.y = static_cast<short>(r.U16());
    item.cx = static_cast<short>(r.U16());
    item.cy = static_cast<short>(r.U16());
    if (t.extended) {
      item.id = static_cast<int>(r.U32());
    } else {
      uint16_t id = r.U16();
      item.id = id == 0xFFFF ? -1 : id;  // IDC_STATIC in a 16-bit field
    }
    item.className = ClassText(ReadNameOrOrdinal(r));
    item.title = rsrc::EncodeAnsi(ReadNameOrOrdinal(r).name);  // an ordinal (a static's icon) reads as ""
    r.Skip(r.U16());  // creation data
    if (!r.ok()) return Fail(error, "dialog item " + std::to_string(i) + " is truncated");
    t.items.push_back(std::move(item));
  }
  *out = std::move(t);
  return true;
}

}  // namespace kvplat
