// The statement parser of the resource compiler. It reads the preprocessed tokens and appends one
// Resource per compiled resource. The statements live in their own files: rc_dialog.cpp (DIALOG,
// DIALOGEX), rc_icon.cpp (ICON), rc_version.cpp (VERSIONINFO); this class holds what they share.
#pragma once
#include <string>
#include <vector>

#include "rsrc/codepage.h"
#include "rsrc/rc_expr.h"
#include "rsrc/rc_script.h"

namespace kvplat::rsrc {

struct DialogControl;

class ScriptParser {
 public:
  ScriptParser(const std::vector<Token> &tokens, const std::vector<ScriptFile> &files)
      : tokens_(tokens), cur_(tokens_), files_(files) {}

  // Throws CompileError.
  std::vector<Resource> Parse();

 private:
  // Tokens.
  const Token &Peek(std::size_t ahead = 0);
  const Token &Next();
  bool AtKeyword(const char *word, std::size_t ahead = 0);
  bool AtPunct(const char *op) { return Peek().kind == Token::kPunct && Peek().text == op; }
  bool AtBegin() { return AtKeyword("BEGIN") || AtPunct("{"); }
  bool AtEndOfBlock() { return AtKeyword("END") || AtPunct("}"); }
  void Expect(const char *op);
  void ExpectBegin();
  void ExpectKeyword(const char *word);
  [[noreturn]] void Fail(const Token &at, const std::string &message);
  [[noreturn]] void Unexpected(const char *wanted);

  // Values.
  uint32_t Number();
  uint32_t CommaNumber();
  uint32_t Style(uint32_t style);  // "A | B | NOT C" applied to style
  std::u16string Text();           // adjacent strings, joined
  ResId ResourceName();            // a number, or a name in upper case
  ResId TextOrOrdinal();           // a control's text: strings as written, or a number
  static std::u16string Upper(std::u16string s);
  void SkipMemoryFlags();
  void SkipBlock();
  void Add(ResId type, ResId name, uint16_t language, std::vector<uint8_t> data, const Token &at);

  // Statements.
  void Dialog(const ResId &name, bool extended, const Token &at);
  DialogControl Control();
  void Icon(const ResId &name, const Token &at);
  void VersionInfo(const ResId &name, const Token &at);

  const std::vector<Token> &tokens_;
  TokenCursor cur_;
  const std::vector<ScriptFile> &files_;
  unsigned codePage_ = kCodePageAnsi;
  uint16_t language_ = 0x0409;  // LANG_ENGLISH, SUBLANG_ENGLISH_US until a LANGUAGE statement
  int iconCount_ = 0;           // RT_ICON ids are numbered from 1 across the script
  std::vector<Resource> out_;
};

}  // namespace kvplat::rsrc
