// DIALOG and DIALOGEX statements, and their binary form (DLGTEMPLATE / DLGTEMPLATEEX).
#include <strings.h>
#include <windows.h>

#include "rsrc/bytes.h"
#include "rsrc/rc_parser.h"

namespace kvplat::rsrc {

struct DialogControl {
  uint32_t help = 0, exStyle = 0, style = 0;
  uint16_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t id = 0;
  ResId cls;
  ResId text = ResId::Name(u"");
};

namespace {

struct DialogDef {
  bool extended = false;
  uint32_t help = 0, exStyle = 0, style = 0;
  uint16_t x = 0, y = 0, cx = 0, cy = 0;
  ResId menu = ResId::Name(u""), cls = ResId::Name(u"");  // an empty name writes as "none"
  std::u16string caption;
  uint16_t pointSize = 0, weight = 0;
  uint8_t italic = 0, charset = 1;  // DEFAULT_CHARSET
  std::u16string font;
  std::vector<DialogControl> controls;
};

// The predefined control classes, written as atoms.
constexpr uint16_t kButton = 0x80, kEdit = 0x81, kStatic = 0x82;

// The statements that stand for one kind of control. Without a style expression a control gets the
// default style; with one, the expression modifies the base style (for the static and check kinds the
// base lacks the WS_GROUP or WS_TABSTOP of the default, as the GNU resource compiler has it).
struct ControlKind {
  const char *keyword;
  uint32_t defaultStyle, baseStyle;
  uint16_t atom;
  bool hasText;
};

constexpr ControlKind kControlKinds[] = {
    {"PUSHBUTTON", BS_PUSHBUTTON | WS_TABSTOP, BS_PUSHBUTTON | WS_TABSTOP, kButton, true},
    {"DEFPUSHBUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, BS_DEFPUSHBUTTON | WS_TABSTOP, kButton, true},
    {"CHECKBOX", BS_CHECKBOX | WS_TABSTOP, BS_CHECKBOX | WS_TABSTOP, kButton, true},
    {"AUTOCHECKBOX", BS_AUTOCHECKBOX | WS_TABSTOP, BS_AUTOCHECKBOX, kButton, true},
    {"RADIOBUTTON", BS_RADIOBUTTON | WS_TABSTOP, BS_RADIOBUTTON, kButton, true},
    {"AUTORADIOBUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP, BS_AUTORADIOBUTTON, kButton, true},
    {"STATE3", BS_3STATE | WS_TABSTOP, BS_3STATE, kButton, true},
    {"AUTO3STATE", BS_AUTO3STATE | WS_TABSTOP, BS_AUTO3STATE, kButton, true},
    {"GROUPBOX", BS_GROUPBOX, BS_GROUPBOX, kButton, true},
    {"EDITTEXT", ES_LEFT | WS_BORDER | WS_TABSTOP, ES_LEFT | WS_BORDER | WS_TABSTOP, kEdit, false},
    {"LTEXT", SS_LEFT | WS_GROUP, SS_LEFT, kStatic, true},
    {"CTEXT", SS_CENTER | WS_GROUP, SS_CENTER, kStatic, true},
    {"RTEXT", SS_RIGHT | WS_GROUP, SS_RIGHT, kStatic, true},
};

constexpr uint32_t kChildVisible = WS_CHILD | WS_VISIBLE;

void WriteId(ByteWriter *w, const ResId &id) {
  if (id.named) {
    w->String16(id.name);
  } else {
    w->U16(0xFFFF);
    w->U16(id.id);
  }
}

std::vector<uint8_t> WriteDialog(const DialogDef &d) {
  ByteWriter w;
  if (d.extended) {
    w.U16(1);  // dlgVer
    w.U16(0xFFFF);
    w.U32(d.help);
    w.U32(d.exStyle);
    w.U32(d.style);
  } else {
    w.U32(d.style);
    w.U32(d.exStyle);
  }
  w.U16(static_cast<uint16_t>(d.controls.size()));
  for (uint16_t v : {d.x, d.y, d.cx, d.cy}) w.U16(v);
  WriteId(&w, d.menu);
  WriteId(&w, d.cls);
  w.String16(d.caption);
  if (d.style & DS_SETFONT) {
    w.U16(d.pointSize);
    if (d.extended) {
      w.U16(d.weight);
      w.U8(d.italic);
      w.U8(d.charset);
    }
    w.String16(d.font);
  }
  for (const DialogControl &c : d.controls) {
    w.AlignDword();
    if (d.extended) {
      w.U32(c.help);
      w.U32(c.exStyle);
      w.U32(c.style);
    } else {
      w.U32(c.style);
      w.U32(c.exStyle);
    }
    for (uint16_t v : {c.x, c.y, c.cx, c.cy}) w.U16(v);
    if (d.extended) {
      w.U32(c.id);
    } else {
      w.U16(static_cast<uint16_t>(c.id));
    }
    WriteId(&w, c.cls);
    WriteId(&w, c.text);
    w.U16(0);  // no creation data
  }
  return w.Take();
}

}  // namespace

void ScriptParser::Dialog(const ResId &name, bool extended, const Token &at) {
  SkipMemoryFlags();
  DialogDef d;
  d.extended = extended;
  d.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
  if (AtKeyword("EXSTYLE")) {  // the old "DIALOG EXSTYLE=n x, y, cx, cy" form
    Next();
    Expect("=");
    d.exStyle = Number();
  }
  d.x = static_cast<uint16_t>(Number());
  d.y = static_cast<uint16_t>(CommaNumber());
  d.cx = static_cast<uint16_t>(CommaNumber());
  d.cy = static_cast<uint16_t>(CommaNumber());
  if (extended && AtPunct(",")) d.help = CommaNumber();

  // STYLE replaces the default style, but keeps what CAPTION and FONT added before it.
  uint32_t added = 0;
  uint16_t language = language_;
  while (!AtBegin()) {
    if (AtKeyword("STYLE")) {
      Next();
      added = Style(added);
      d.style = added;
    } else if (AtKeyword("EXSTYLE")) {
      Next();
      d.exStyle = Number();
    } else if (AtKeyword("CAPTION")) {
      Next();
      d.caption = Text();
      d.style |= WS_CAPTION;
      added |= WS_CAPTION;
    } else if (AtKeyword("CLASS") || AtKeyword("MENU")) {
      bool isClass = AtKeyword("CLASS");
      Next();
      (isClass ? d.cls : d.menu) = ResourceName();
    } else if (AtKeyword("FONT")) {
      Next();
      d.pointSize = static_cast<uint16_t>(Number());
      Expect(",");
      d.font = Text();
      d.style |= DS_SETFONT;
      added |= DS_SETFONT;
      if (AtPunct(",")) d.weight = static_cast<uint16_t>(CommaNumber());
      if (AtPunct(",")) d.italic = static_cast<uint8_t>(CommaNumber());
      if (AtPunct(",")) d.charset = static_cast<uint8_t>(CommaNumber());
    } else if (AtKeyword("LANGUAGE")) {
      Next();
      uint32_t primary = Number();
      language = static_cast<uint16_t>(primary | (CommaNumber() << 10));
    } else if (AtKeyword("CHARACTERISTICS") || AtKeyword("VERSION")) {
      Next();
      Number();  // kept by a resource compiler in the .res header only
    } else {
      Unexpected("BEGIN or a dialog option");
    }
  }
  Next();
  while (!AtEndOfBlock()) d.controls.push_back(Control());
  Next();
  // A help id on a control needs the extended form, even in a DIALOG statement.
  for (const DialogControl &c : d.controls) d.extended = d.extended || c.help != 0;
  Add(ResId::Ordinal(5), name, language, WriteDialog(d), at);  // RT_DIALOG
}

DialogControl ScriptParser::Control() {
  DialogControl c;
  if (Peek().kind != Token::kIdent) Unexpected("a control or END");
  const Token &keyword = Next();
  auto is = [&](const char *word) { return strcasecmp(keyword.text.c_str(), word) == 0; };
  // What follows the rectangle: an optional style expression starting from `base`, extended style and
  // help id.
  auto tail = [&](uint32_t base, uint32_t withoutStyle) {
    if (!AtPunct(",")) {
      c.style = withoutStyle;
      return;
    }
    Next();
    c.style = Style(base);
    if (AtPunct(",")) c.exStyle = CommaNumber();
    if (AtPunct(",")) c.help = CommaNumber();
  };
  auto rect = [&] {
    c.x = static_cast<uint16_t>(CommaNumber());
    c.y = static_cast<uint16_t>(CommaNumber());
    c.cx = static_cast<uint16_t>(CommaNumber());
    c.cy = static_cast<uint16_t>(CommaNumber());
  };

  if (is("CONTROL")) {
    c.text = TextOrOrdinal();
    c.id = CommaNumber();
    Expect(",");
    // A class given by name is stored as a name (in upper case), even for the predefined classes.
    c.cls = Peek().kind == Token::kString || Peek().kind == Token::kIdent ? ResourceName() : ResId::Ordinal(Number());
    Expect(",");
    c.style = Style(kChildVisible);
    rect();
    if (AtPunct(",")) c.exStyle = CommaNumber();
    if (AtPunct(",")) c.help = CommaNumber();
  } else if (is("ICON")) {
    // The icon's name is the text; a width and height may be given but are not stored.
    c.cls = ResId::Ordinal(kStatic);
    c.text = ResourceName();
    c.id = CommaNumber();
    c.x = static_cast<uint16_t>(CommaNumber());
    c.y = static_cast<uint16_t>(CommaNumber());
    c.style = SS_ICON | kChildVisible;
    if (AtPunct(",")) {
      CommaNumber();
      CommaNumber();
      tail(SS_ICON | kChildVisible, SS_ICON | kChildVisible);
      if (c.style == 0) c.style = SS_ICON | kChildVisible;
    }
  } else {
    const ControlKind *kind = nullptr;
    for (const ControlKind &k : kControlKinds) {
      if (is(k.keyword)) kind = &k;
    }
    if (!kind) Fail(keyword, "unknown control '" + keyword.text + "'");
    c.cls = ResId::Ordinal(kind->atom);
    if (kind->hasText) {
      c.text = TextOrOrdinal();
      c.id = CommaNumber();
    } else {
      c.id = Number();
    }
    rect();
    tail(kind->baseStyle | kChildVisible, kind->defaultStyle | kChildVisible);
  }
  if (AtBegin()) Fail(Peek(), "control data is not supported");
  return c;
}

}  // namespace kvplat::rsrc
