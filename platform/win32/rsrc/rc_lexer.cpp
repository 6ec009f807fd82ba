#include "rsrc/rc_lexer.h"

#include <cctype>
#include <cstring>

#include "rsrc/rc_error.h"

namespace kvplat::rsrc {

namespace {

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Joins backslash-newline continuations and drops carriage returns, remembering each character's line.
void Splice(const std::string &source, std::string *text, std::vector<int> *lineOf) {
  int line = 1;
  for (std::size_t i = 0; i < source.size(); ++i) {
    char c = source[i];
    if (c == '\\') {
      std::size_t j = i + 1;
      if (j < source.size() && source[j] == '\r') ++j;
      if (j < source.size() && source[j] == '\n') {
        i = j;
        ++line;
        continue;
      }
    }
    if (c == '\r') continue;
    text->push_back(c);
    lineOf->push_back(line);
    if (c == '\n') ++line;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint32_t ParseNumber(const std::string &digits, int file, int line) {
  std::string body = digits;
  while (!body.empty() && std::strchr("uUlL", body.back())) body.pop_back();
  int base = 10;
  std::size_t start = 0;
  if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
    base = 16;
    start = 2;
  }
  if (start == body.size()) throw CompileError{file, line, "bad number '" + digits + "'"};
  uint32_t value = 0;
  for (std::size_t i = start; i < body.size(); ++i) {
    int d = HexDigit(body[i]);
    if (d < 0 || d >= base) throw CompileError{file, line, "bad number '" + digits + "'"};
    value = value * base + d;  // wraps at 32 bits, as the resource compiler's arithmetic does
  }
  return value;
}

// Reads the string whose opening quote is at text[i]; returns the index after the closing quote. A quote
// written twice stands for one quote, as in rc; C escapes are resolved too.
std::size_t ReadString(const LogicalLine &line, std::size_t i, int file, std::string *out) {
  const std::string &t = line.text;
  std::size_t open = i++;
  for (;;) {
    if (i >= t.size() || t[i] == '\n') throw CompileError{file, line.lineOf[open], "unterminated string"};
    char c = t[i];
    if (c == '"') {
      if (i + 1 < t.size() && t[i + 1] == '"') {
        out->push_back('"');
        i += 2;
        continue;
      }
      return i + 1;
    }
    if (c != '\\' || i + 1 >= t.size()) {
      out->push_back(c);
      ++i;
      continue;
    }
    char e = t[++i];
    ++i;
    switch (e) {
      case 'n': out->push_back('\n'); break;
      case 'r': out->push_back('\r'); break;
      case 't': out->push_back('\t'); break;
      case 'a': out->push_back('\a'); break;
      case 'b': out->push_back('\b'); break;
      case 'f': out->push_back('\f'); break;
      case 'v': out->push_back('\v'); break;
      case 'x': {
        int value = 0, n = 0;
        while (n < 2 && i < t.size() && HexDigit(t[i]) >= 0) value = value * 16 + HexDigit(t[i++]), ++n;
        out->push_back(static_cast<char>(value));
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          int value = e - '0', n = 1;
          while (n < 3 && i < t.size() && t[i] >= '0' && t[i] <= '7') value = value * 8 + (t[i++] - '0'), ++n;
          out->push_back(static_cast<char>(value));
        } else {
          out->push_back(e);  // \\ \" \' \? and anything else stand for themselves
        }
    }
  }
}

}  // namespace

std::vector<LogicalLine> SplitLogicalLines(const std::string &source, int file) {
  std::string text;
  std::vector<int> lineOf;
  Splice(source, &text, &lineOf);

  std::vector<LogicalLine> lines;
  LogicalLine current;
  auto emit = [&](char c, int line) {
    current.text.push_back(c);
    current.lineOf.push_back(line);
  };
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    int line = lineOf[i];
    if (c == '\n') {
      lines.push_back(std::move(current));
      current = LogicalLine();
      ++i;
    } else if (c == '"') {
      // Copied whole so that comment markers inside strings stay text; a string ends at the line's end
      // at the latest, so that a stray quote cannot swallow the rest of the file.
      emit(c, line);
      ++i;
      while (i < text.size() && text[i] != '\n') {
        emit(text[i], lineOf[i]);
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] != '\n') {
          emit(text[i + 1], lineOf[i + 1]);
          i += 2;
          continue;
        }
        // cppcheck-suppress containerOutOfBounds ; the loop's condition has just checked i < text.size()
        if (text[i++] == '"') break;
      }
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      std::size_t end = text.find("*/", i + 2);
      if (end == std::string::npos) throw CompileError{file, line, "unterminated comment"};
      emit(' ', line);
      i = end + 2;
    } else {
      emit(c, line);
      ++i;
    }
  }
  if (!current.text.empty()) lines.push_back(std::move(current));
  return lines;
}

void TokenizeLine(const LogicalLine &line, std::size_t from, int file, std::vector<Token> *out) {
  static const char *const kTwoCharOps[] = {"&&", "||", "==", "!=", "<=", ">=", "<<", ">>"};
  const std::string &t = line.text;
  std::size_t i = from;
  while (i < t.size()) {
    char c = t[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    Token tok;
    tok.file = file;
    tok.line = line.lineOf[i];
    if ((c == 'L' || c == 'l') && i + 1 < t.size() && t[i + 1] == '"') {
      tok.kind = Token::kString;
      tok.wide = true;
      i = ReadString(line, i + 1, file, &tok.text);
    } else if (c == '"') {
      tok.kind = Token::kString;
      i = ReadString(line, i, file, &tok.text);
    } else if (IsIdentStart(c)) {
      std::size_t start = i;
      while (i < t.size() && IsIdentChar(t[i])) ++i;
      tok.kind = Token::kIdent;
      tok.text = t.substr(start, i - start);
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      std::size_t start = i;
      while (i < t.size() && IsIdentChar(t[i])) ++i;
      tok.kind = Token::kNumber;
      tok.text = t.substr(start, i - start);
      tok.value = ParseNumber(tok.text, file, tok.line);
    } else {
      tok.kind = Token::kPunct;
      tok.text = std::string(1, c);
      for (const char *op : kTwoCharOps) {
        if (t.compare(i, 2, op) == 0) tok.text = op;
      }
      i += tok.text.size();
    }
    out->push_back(std::move(tok));
  }
}

}  // namespace kvplat::rsrc
