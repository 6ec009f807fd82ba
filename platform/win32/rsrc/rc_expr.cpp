#include "rsrc/rc_expr.h"

#include <cstring>
#include <string>

#include "rsrc/rc_error.h"

namespace kvplat::rsrc {

const Token &TokenCursor::Peek(std::size_t ahead) const {
  std::size_t i = pos_ + ahead;
  return i < tokens_.size() ? tokens_[i] : tokens_.back();
}

const Token &TokenCursor::Next() {
  const Token &t = Peek();
  if (pos_ < tokens_.size()) ++pos_;
  return t;
}

bool TokenCursor::AtPunct(const char *op, std::size_t ahead) const {
  const Token &t = Peek(ahead);
  return t.kind == Token::kPunct && t.text == op;
}

namespace {

struct BinaryOp {
  const char *text;
  int precedence;  // higher binds tighter
  bool script;     // also accepted in resource statements
};

constexpr BinaryOp kBinaryOps[] = {
    {"||", 1, false}, {"&&", 2, false}, {"|", 3, true},  {"^", 4, true},  {"&", 5, true},
    {"==", 6, false}, {"!=", 6, false}, {"<", 7, false}, {">", 7, false}, {"<=", 7, false},
    {">=", 7, false}, {"<<", 8, false}, {">>", 8, false}, {"+", 9, true}, {"-", 9, true},
    {"*", 10, true},  {"/", 10, true},  {"%", 10, true},
};

class Evaluator {
 public:
  Evaluator(TokenCursor &cursor, ExprMode mode) : cur_(cursor), mode_(mode) {}

  int64_t Expression(int minPrecedence) {
    int64_t left = Unary();
    for (;;) {
      const BinaryOp *op = PeekOp();
      if (!op || op->precedence < minPrecedence) return left;
      const Token &at = cur_.Next();
      int64_t right = Expression(op->precedence + 1);
      left = Fit(Apply(op->text, left, right, at));
    }
  }

 private:
  const BinaryOp *PeekOp() const {
    const Token &t = cur_.Peek();
    if (t.kind != Token::kPunct) return nullptr;
    for (const BinaryOp &op : kBinaryOps) {
      if (t.text == op.text && (op.script || mode_ == ExprMode::kPreprocessor)) return &op;
    }
    return nullptr;
  }

  int64_t Unary() {
    const Token &t = cur_.Peek();
    if (t.kind == Token::kPunct) {
      if (t.text == "-") return cur_.Next(), Fit(static_cast<int64_t>(0 - static_cast<uint64_t>(Unary())));
      if (t.text == "~") return cur_.Next(), Fit(~Unary());
      if (t.text == "+" && mode_ == ExprMode::kPreprocessor) return cur_.Next(), Unary();
      if (t.text == "!" && mode_ == ExprMode::kPreprocessor) return cur_.Next(), Unary() == 0 ? 1 : 0;
      if (t.text == "(") {
        cur_.Next();
        int64_t v = Expression(0);
        if (!cur_.AtPunct(")")) throw CompileError{cur_.Peek().file, cur_.Peek().line, "expected ')'"};
        cur_.Next();
        return v;
      }
    }
    if (t.kind == Token::kNumber) return cur_.Next(), static_cast<int64_t>(t.value);
    if (t.kind == Token::kIdent && mode_ == ExprMode::kPreprocessor) return cur_.Next(), 0;
    if (t.kind == Token::kIdent) throw CompileError{t.file, t.line, "undefined symbol '" + t.text + "'"};
    if (t.kind == Token::kEnd) throw CompileError{t.file, t.line, "expected a number at the end of the input"};
    throw CompileError{t.file, t.line, "expected a number, found '" + t.text + "'"};
  }

  int64_t Apply(const char *op, int64_t a, int64_t b, const Token &at) const {
    switch (op[0] | (op[1] << 8)) {
      case '|' | ('|' << 8): return (a != 0 || b != 0) ? 1 : 0;
      case '&' | ('&' << 8): return (a != 0 && b != 0) ? 1 : 0;
      case '|': return a | b;
      case '^': return a ^ b;
      case '&': return a & b;
      case '=' | ('=' << 8): return a == b;
      case '!' | ('=' << 8): return a != b;
      case '<': return a < b;
      case '>': return a > b;
      case '<' | ('=' << 8): return a <= b;
      case '>' | ('=' << 8): return a >= b;
      case '<' | ('<' << 8): return static_cast<int64_t>(static_cast<uint64_t>(a) << (b & 63));
      case '>' | ('>' << 8): return a >> (b & 63);
      case '+': return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
      case '-': return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
      case '*': return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
      default: break;
    }
    if (b == 0) throw CompileError{at.file, at.line, "division by zero"};
    if (a == INT64_MIN && b == -1) return a;
    return op[0] == '/' ? a / b : a % b;
  }

  // Resource statements compute in 32-bit unsigned arithmetic, as the resource compiler does.
  int64_t Fit(int64_t v) const { return mode_ == ExprMode::kScript ? (v & 0xFFFFFFFF) : v; }

  TokenCursor &cur_;
  ExprMode mode_;
};

}  // namespace

int64_t EvaluateExpression(TokenCursor &cursor, ExprMode mode) { return Evaluator(cursor, mode).Expression(0); }

}  // namespace kvplat::rsrc
