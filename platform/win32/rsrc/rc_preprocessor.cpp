#include "rsrc/rc_preprocessor.h"

#include <cctype>
#include <set>
#include <strings.h>
#include <unordered_map>

#include "rsrc/codepage.h"
#include "rsrc/rc_error.h"
#include "rsrc/rc_expr.h"
#include "rsrc/sdk_symbols.h"

namespace kvplat::rsrc {

namespace {

constexpr int kMaxIncludeDepth = 32;

bool EndsWithNoCase(const std::string &s, const char *suffix) {
  std::size_t n = std::char_traits<char>::length(suffix);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

int LineAt(const LogicalLine &line, std::size_t pos) {
  return line.lineOf[pos < line.lineOf.size() ? pos : line.lineOf.size() - 1];
}

struct Macro {
  bool functionLike = false;
  std::vector<Token> body;
};

struct Conditional {
  bool outerActive;  // the region around the #if
  bool taking;       // this branch is active
  bool anyTaken;     // some branch so far was taken
  bool seenElse;
  int file, line;
};

class Preprocessor {
 public:
  explicit Preprocessor(const std::vector<ScriptFile> &files) : files_(files) {
    // What a resource compiler defines for every script.
    Define("RC_INVOKED", 1);
    Define("_WIN32", 1);
  }

  std::vector<Token> Run(int main) {
    Token end;
    end.kind = Token::kEnd;
    end.file = main;
    end.line = ProcessFile(main, 0);
    out_.push_back(end);
    return std::move(out_);
  }

 private:
  void Define(const std::string &name, uint32_t value) {
    Token t;
    t.kind = Token::kNumber;
    t.value = value;
    t.text = std::to_string(value);
    macros_[name].body = {t};
  }

  bool Active() const { return conds_.empty() || conds_.back().taking; }

  // Returns the number of the file's last line.
  int ProcessFile(int file, int depth) {
    const bool header = EndsWithNoCase(files_[file].name, ".h") || EndsWithNoCase(files_[file].name, ".c");
    // Conditionals opened in this file must be closed in it, and it cannot close those of its includer.
    const std::size_t outerBase = condBase_;
    condBase_ = conds_.size();
    int lastLine = 1;
    for (const LogicalLine &line : SplitLogicalLines(files_[file].content, file)) {
      if (!line.lineOf.empty()) lastLine = line.lineOf.back();
      std::size_t i = line.text.find_first_not_of(" \t\f\v");
      if (i == std::string::npos) continue;
      if (line.text[i] == '#') {
        Directive(line, i + 1, file, depth);
      } else if (Active() && !header) {
        std::vector<Token> tokens;
        TokenizeLine(line, i, file, &tokens);
        std::set<std::string> expanding;
        Expand(tokens, &expanding, nullptr, &out_);
      }
    }
    if (conds_.size() > condBase_) {
      const Conditional &open = conds_[condBase_];
      throw CompileError{open.file, open.line, "#if without #endif"};
    }
    condBase_ = outerBase;
    return lastLine;
  }

  void Directive(const LogicalLine &line, std::size_t from, int file, int depth) {
    const std::string &t = line.text;
    std::size_t i = t.find_first_not_of(" \t", from);
    if (i == std::string::npos) return;  // a lone '#' is a null directive
    std::size_t end = i;
    while (end < t.size() && (std::isalnum(static_cast<unsigned char>(t[end])) || t[end] == '_')) ++end;
    const std::string name = t.substr(i, end - i);
    const int at = line.lineOf[i];

    // Nesting is followed even in skipped regions; nothing else there is looked at.
    if (name == "if" || name == "ifdef" || name == "ifndef") {
      bool outer = Active();
      bool value = outer && (name == "if" ? Condition(line, end, file) : Defined(line, end, file, name == "ifdef"));
      conds_.push_back({outer, value, value, false, file, at});
      return;
    }
    if (name == "elif" || name == "else" || name == "endif") {
      if (conds_.size() <= condBase_) throw CompileError{file, at, "#" + name + " without #if"};
      Conditional &c = conds_.back();
      if (name == "endif") {
        conds_.pop_back();
        return;
      }
      if (c.seenElse) throw CompileError{file, at, "#" + name + " after #else"};
      bool value = c.outerActive && !c.anyTaken && (name == "else" || Condition(line, end, file));
      c.seenElse = name == "else";
      c.taking = value;
      c.anyTaken = c.anyTaken || value;
      return;
    }
    if (!Active()) return;

    std::vector<Token> args;
    if (name == "define" || name == "undef" || name == "pragma") TokenizeLine(line, end, file, &args);
    if (name == "include") {
      Include(line, end, file, at, depth);
    } else if (name == "define") {
      DefineFrom(line, end, file, at, args);
    } else if (name == "undef") {
      if (args.empty() || args[0].kind != Token::kIdent) throw CompileError{file, at, "#undef expects a name"};
      macros_.erase(args[0].text);
      undefined_.insert(args[0].text);
    } else if (name == "pragma") {
      Pragma(args, file, at);
    } else if (name == "error") {
      std::size_t m = t.find_first_not_of(" \t", end);
      throw CompileError{file, at, "#error " + (m == std::string::npos ? std::string() : t.substr(m))};
    } else if (name != "line") {
      throw CompileError{file, at, "unknown directive #" + name};
    }
  }

  void Include(const LogicalLine &line, std::size_t from, int file, int at, int depth) {
    const std::string &t = line.text;
    std::size_t i = t.find_first_not_of(" \t", from);
    if (i != std::string::npos && t[i] == '<') return;  // an SDK header: its constants are built in
    std::size_t close = i == std::string::npos ? i : t.find('"', i + 1);
    if (i == std::string::npos || t[i] != '"' || close == std::string::npos) {
      throw CompileError{file, at, "#include expects \"file\" or <file>"};
    }
    std::string path = t.substr(i + 1, close - i - 1);
    int target = FindScriptFile(files_, path);
    if (target < 0) throw CompileError{file, at, "cannot open include file '" + path + "'"};
    if (depth + 1 >= kMaxIncludeDepth) throw CompileError{file, at, "#include nested too deeply"};
    ProcessFile(target, depth + 1);
  }

  void DefineFrom(const LogicalLine &line, std::size_t from, int file, int at, const std::vector<Token> &args) {
    if (args.empty() || args[0].kind != Token::kIdent) throw CompileError{file, at, "#define expects a name"};
    Macro m;
    std::size_t body = 1;
    // A '(' right after the name, with no space between, makes a function-like macro.
    std::size_t nameEnd = line.text.find(args[0].text, from) + args[0].text.size();
    if (nameEnd < line.text.size() && line.text[nameEnd] == '(') {
      m.functionLike = true;
      while (body < args.size() && !(args[body].kind == Token::kPunct && args[body].text == ")")) ++body;
      if (body == args.size()) throw CompileError{file, at, "missing ')' in macro parameter list"};
      ++body;
    }
    m.body.assign(args.begin() + static_cast<std::ptrdiff_t>(body), args.end());
    macros_[args[0].text] = std::move(m);
  }

  void Pragma(const std::vector<Token> &args, int file, int at) {
    if (args.empty() || args[0].text != "code_page") return;  // other pragmas do not concern resources
    if (args.size() != 4 || args[1].text != "(" || args[3].text != ")") {
      throw CompileError{file, at, "#pragma code_page expects (number) or (DEFAULT)"};
    }
    bool isDefault = args[2].kind == Token::kIdent && args[2].text == "DEFAULT";
    uint32_t page = isDefault ? kCodePageAnsi : args[2].value;
    if (!isDefault && (args[2].kind != Token::kNumber || (page != kCodePageAnsi && page != kCodePageUtf8))) {
      throw CompileError{file, at, "code page " + args[2].text + " is not supported"};
    }
    Token marker;
    marker.kind = Token::kCodePage;
    marker.value = page;
    marker.file = file;
    marker.line = at;
    out_.push_back(marker);
  }

  bool IsDefined(const std::string &name) const {
    return macros_.count(name) || (!undefined_.count(name) && FindSdkSymbol(name));
  }

  bool Defined(const LogicalLine &line, std::size_t from, int file, bool wanted) {
    std::vector<Token> args;
    TokenizeLine(line, from, file, &args);
    if (args.empty() || args[0].kind != Token::kIdent) {
      throw CompileError{file, LineAt(line, from), "expected a macro name"};
    }
    return IsDefined(args[0].text) == wanted;
  }

  bool Condition(const LogicalLine &line, std::size_t from, int file) {
    std::vector<Token> raw;
    TokenizeLine(line, from, file, &raw);
    int at = LineAt(line, from);
    // defined(X) is answered before macros are expanded.
    std::vector<Token> resolved;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i].kind != Token::kIdent || raw[i].text != "defined") {
        resolved.push_back(raw[i]);
        continue;
      }
      bool paren = i + 1 < raw.size() && raw[i + 1].text == "(";
      std::size_t n = i + (paren ? 2 : 1);
      if (n >= raw.size() || raw[n].kind != Token::kIdent || (paren && (n + 1 >= raw.size() || raw[n + 1].text != ")"))) {
        throw CompileError{file, at, "defined expects a macro name"};
      }
      Token value = raw[i];
      value.kind = Token::kNumber;
      value.value = IsDefined(raw[n].text) ? 1 : 0;
      resolved.push_back(value);
      i = n + (paren ? 1 : 0);
    }
    std::vector<Token> expanded;
    std::set<std::string> expanding;
    Expand(resolved, &expanding, nullptr, &expanded);
    if (expanded.empty()) throw CompileError{file, at, "#if with no expression"};
    Token end;
    end.kind = Token::kEnd;
    end.file = file;
    end.line = at;
    expanded.push_back(end);
    TokenCursor cursor(expanded);
    int64_t value = EvaluateExpression(cursor, ExprMode::kPreprocessor);
    if (cursor.Peek().kind != Token::kEnd) {
      throw CompileError{file, at, "unexpected '" + cursor.Peek().text + "' in #if"};
    }
    return value != 0;
  }

  // Appends `in` to *out with every macro replaced by its body, recursively; a macro is not expanded
  // inside its own body. Tokens that come from a macro take the position of `use` (or their own).
  void Expand(const std::vector<Token> &in, std::set<std::string> *expanding, const Token *use,
              std::vector<Token> *out) {
    for (const Token &t : in) {
      const Token &where = use ? *use : t;
      auto place = [&](Token tok) {
        tok.file = where.file;
        tok.line = where.line;
        out->push_back(std::move(tok));
      };
      if (t.kind != Token::kIdent || expanding->count(t.text)) {
        place(t);
        continue;
      }
      auto it = macros_.find(t.text);
      if (it != macros_.end()) {
        if (it->second.functionLike) {
          throw CompileError{where.file, where.line, "function-like macro '" + t.text + "' is not supported"};
        }
        expanding->insert(t.text);
        Expand(it->second.body, expanding, &where, out);
        expanding->erase(t.text);
        continue;
      }
      const SdkSymbol *sdk = undefined_.count(t.text) ? nullptr : FindSdkSymbol(t.text);
      if (!sdk) {
        place(t);
        continue;
      }
      Token value = t;
      value.kind = sdk->text ? Token::kString : Token::kNumber;
      value.value = sdk->value;
      value.text = sdk->text ? sdk->text : t.text;
      place(value);
    }
  }

  const std::vector<ScriptFile> &files_;
  std::unordered_map<std::string, Macro> macros_;
  std::set<std::string> undefined_;  // SDK names that a script #undef'd
  std::vector<Conditional> conds_;
  std::size_t condBase_ = 0;  // conds_ below this index belong to the including files
  std::vector<Token> out_;
};

}  // namespace

int FindScriptFile(const std::vector<ScriptFile> &files, const std::string &path) {
  std::size_t slash = path.find_last_of("/\\");
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (strcasecmp(files[i].name.c_str(), base.c_str()) == 0) return static_cast<int>(i);
  }
  return -1;
}

std::vector<Token> Preprocess(const std::vector<ScriptFile> &files, int main) {
  return Preprocessor(files).Run(main);
}

}  // namespace kvplat::rsrc
