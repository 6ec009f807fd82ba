// Integer expressions over tokens: the operators of #if lines, and the smaller set that a resource
// statement accepts where it wants a number (as the GNU resource compiler parses them).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "rsrc/rc_lexer.h"

namespace kvplat::rsrc {

// A position in a token list; reading past the end gives the list's last token (kEnd by convention).
class TokenCursor {
 public:
  explicit TokenCursor(const std::vector<Token> &tokens) : tokens_(tokens) {}
  const Token &Peek(std::size_t ahead = 0) const;
  const Token &Next();
  bool AtPunct(const char *op, std::size_t ahead = 0) const;
  std::size_t pos() const { return pos_; }

 private:
  const std::vector<Token> &tokens_;
  std::size_t pos_ = 0;
};

enum class ExprMode {
  kPreprocessor,  // C operators; identifiers left after macro expansion count as 0
  kScript,        // | ^ & + - * / % ~ and unary minus, 32-bit unsigned; an identifier is an error
};

// Reads the longest expression at the cursor. Throws CompileError when none starts there.
int64_t EvaluateExpression(TokenCursor &cursor, ExprMode mode);

}  // namespace kvplat::rsrc
