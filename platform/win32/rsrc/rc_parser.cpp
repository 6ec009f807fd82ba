#include "rsrc/rc_parser.h"

#include <strings.h>

#include "rsrc/rc_error.h"

namespace kvplat::rsrc {

namespace {

bool EndsWithRc(const std::string &name) {
  return name.size() > 3 && strcasecmp(name.c_str() + name.size() - 3, ".rc") == 0;
}

// Keywords of resource scripts are not case-sensitive.
bool IsWord(const Token &t, const char *word) { return t.kind == Token::kIdent && strcasecmp(t.text.c_str(), word) == 0; }

std::string Describe(const Token &t) {
  switch (t.kind) {
    case Token::kEnd: return "the end of the script";
    case Token::kString: return "a string";
    default: return "'" + t.text + "'";
  }
}

}  // namespace

// --- Tokens ---------------------------------------------------------------------------------------------

const Token &ScriptParser::Peek(std::size_t ahead) {
  // Code page markers take effect where they stand, between statements.
  while (cur_.Peek().kind == Token::kCodePage) codePage_ = cur_.Next().value;
  return cur_.Peek(ahead);
}

const Token &ScriptParser::Next() {
  Peek();
  return cur_.Next();
}

bool ScriptParser::AtKeyword(const char *word, std::size_t ahead) { return IsWord(Peek(ahead), word); }

void ScriptParser::Fail(const Token &at, const std::string &message) { throw CompileError{at.file, at.line, message}; }

void ScriptParser::Unexpected(const char *wanted) {
  Fail(Peek(), std::string("expected ") + wanted + ", found " + Describe(Peek()));
}

void ScriptParser::Expect(const char *op) {
  if (!AtPunct(op)) Unexpected((std::string("'") + op + "'").c_str());
  Next();
}

void ScriptParser::ExpectBegin() {
  if (!AtBegin()) Unexpected("BEGIN");
  Next();
}

void ScriptParser::ExpectKeyword(const char *word) {
  if (!AtKeyword(word)) Unexpected(word);
  Next();
}

// --- Values ---------------------------------------------------------------------------------------------

uint32_t ScriptParser::Number() {
  Peek();
  return static_cast<uint32_t>(EvaluateExpression(cur_, ExprMode::kScript));
}

uint32_t ScriptParser::CommaNumber() {
  Expect(",");
  return Number();
}

uint32_t ScriptParser::Style(uint32_t style) {
  // Only numbers and parenthesised expressions joined by '|', each of which may be negated with NOT to
  // remove a default bit: "ES_READONLY | NOT WS_TABSTOP".
  for (;;) {
    bool negate = AtKeyword("NOT");
    if (negate) Next();
    uint32_t bits;
    if (AtPunct("(")) {
      Next();
      bits = Number();
      Expect(")");
    } else if (Peek().kind == Token::kNumber) {
      bits = Next().value;
    } else if (Peek().kind == Token::kIdent) {
      Fail(Peek(), "undefined symbol '" + Peek().text + "'");
    } else {
      Unexpected("a style");
    }
    style = negate ? style & ~bits : style | bits;
    if (!AtPunct("|")) return style;
    Next();
  }
}

std::u16string ScriptParser::Text() {
  if (Peek().kind != Token::kString) Unexpected("a string");
  std::u16string text;
  while (Peek().kind == Token::kString) text += DecodeCodePage(Next().text, codePage_);
  return text;
}

std::u16string ScriptParser::Upper(std::u16string s) {
  for (char16_t &c : s) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return s;
}

ResId ScriptParser::ResourceName() {
  const Token &t = Peek();
  if (t.kind == Token::kString) return ResId::Name(Upper(Text()));
  if (t.kind == Token::kIdent) return ResId::Name(Upper(DecodeCodePage(Next().text, codePage_)));
  return ResId::Ordinal(Number());
}

ResId ScriptParser::TextOrOrdinal() {
  if (Peek().kind == Token::kString) return ResId::Name(Text());
  return ResId::Ordinal(Number());
}

void ScriptParser::SkipMemoryFlags() {
  static const char *const kFlags[] = {"MOVEABLE", "FIXED", "PURE", "IMPURE", "PRELOAD", "LOADONCALL", "DISCARDABLE"};
  for (bool more = true; more;) {
    more = false;
    for (const char *flag : kFlags) {
      if (AtKeyword(flag)) {
        Next();
        more = true;
      }
    }
  }
}

void ScriptParser::SkipBlock() {
  while (!AtBegin()) {
    if (Peek().kind == Token::kEnd) Unexpected("BEGIN");
    Next();
  }
  Next();
  for (int depth = 1; depth > 0;) {
    if (Peek().kind == Token::kEnd) Unexpected("END");
    if (AtBegin()) ++depth;
    if (AtEndOfBlock()) --depth;
    Next();
  }
}

void ScriptParser::Add(ResId type, ResId name, uint16_t language, std::vector<uint8_t> data, const Token &at) {
  for (const Resource &r : out_) {
    if (r.type == type && r.name == name && r.language == language) Fail(at, "duplicate resource");
  }
  out_.push_back(Resource{std::move(type), std::move(name), language, std::move(data)});
}

// --- Statements -----------------------------------------------------------------------------------------

std::vector<Resource> ScriptParser::Parse() {
  while (Peek().kind != Token::kEnd) {
    if (AtKeyword("LANGUAGE")) {
      Next();
      uint32_t primary = Number();
      language_ = static_cast<uint16_t>(primary | (CommaNumber() << 10));
      continue;
    }
    const Token &at = Peek();
    ResId name = ResourceName();
    if (Peek().kind != Token::kIdent) Unexpected("a resource type");
    const Token &type = Next();
    if (IsWord(type, "DIALOG") || IsWord(type, "DIALOGEX")) {
      Dialog(name, IsWord(type, "DIALOGEX"), at);
    } else if (IsWord(type, "ICON")) {
      Icon(name, at);
    } else if (IsWord(type, "VERSIONINFO")) {
      VersionInfo(name, at);
    } else if (IsWord(type, "TEXTINCLUDE") || IsWord(type, "DESIGNINFO")) {
      SkipBlock();  // the resource editor's own notes, not part of the program
    } else {
      Fail(type, "unsupported resource type '" + type.text + "'");
    }
  }
  return std::move(out_);
}

bool CompileScript(const std::vector<ScriptFile> &files, std::vector<Resource> *out, std::string *error) {
  int main = -1;
  for (std::size_t i = 0; i < files.size() && main < 0; ++i) {
    if (EndsWithRc(files[i].name)) main = static_cast<int>(i);
  }
  if (main < 0) {
    if (error) *error = "no resource script among the module's files";
    return false;
  }
  try {
    std::vector<Token> tokens = Preprocess(files, main);
    *out = ScriptParser(tokens, files).Parse();
    return true;
  } catch (const CompileError &e) {
    if (error) {
      *error = files[e.file].name;
      if (e.line > 0) *error += ":" + std::to_string(e.line);
      *error += ": " + e.message;
    }
    return false;
  }
}

}  // namespace kvplat::rsrc
