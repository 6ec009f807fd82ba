// The preprocessor of the resource compiler: enough of C's for wizard-written scripts and their
// headers. #include "x" reads x from the module's files; #include <x> is ignored, because the SDK
// constants are known to the compiler (sdk_symbols.h) and act as predefined macros. Object-like
// #define/#undef, #if/#ifdef/#ifndef/#elif/#else/#endif with defined(), #pragma code_page and #error.
// As rc does, only the directives of an included .h or .c file count; its other lines are C code.
#pragma once
#include <string>
#include <vector>

#include "rsrc/rc_lexer.h"

namespace kvplat::rsrc {

struct ScriptFile {
  std::string name;  // base name, as the module's file table gives it
  std::string content;
};

// Preprocesses files[main] and returns the tokens of its active lines with every macro expanded, ended by
// a kEnd token. #pragma code_page appears as a kCodePage token where it stood. Throws CompileError.
std::vector<Token> Preprocess(const std::vector<ScriptFile> &files, int main);

// The file of `files` whose base name equals `path`'s (directories and case ignored), or -1.
int FindScriptFile(const std::vector<ScriptFile> &files, const std::string &path);

}  // namespace kvplat::rsrc
