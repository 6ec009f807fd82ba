// The lexical layer of resource scripts and the headers they include: splitting a file into logical
// lines (continuations joined, comments removed, as a C preprocessor sees them) and a logical line into
// tokens.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kvplat::rsrc {

struct Token {
  enum Kind { kIdent, kNumber, kString, kPunct, kCodePage, kEnd };
  Kind kind = kEnd;
  std::string text;    // identifier, operator, or a string's bytes with its escapes resolved
  uint32_t value = 0;  // number, or the code page of a kCodePage marker
  bool wide = false;   // L"..." string
  int file = 0;
  int line = 0;
};

struct LogicalLine {
  std::string text;
  std::vector<int> lineOf;  // physical line (1-based) of each character of text
  int FirstLine() const { return lineOf.empty() ? 0 : lineOf.front(); }
};

// Splits a whole file into logical lines. A block comment counts as one space and may span physical
// lines; an unterminated one throws CompileError for `file`.
std::vector<LogicalLine> SplitLogicalLines(const std::string &source, int file);

// Tokenizes text[from..] of a logical line, appending to *out. Throws CompileError on a bad number or an
// unterminated string.
void TokenizeLine(const LogicalLine &line, std::size_t from, int file, std::vector<Token> *out);

}  // namespace kvplat::rsrc
