// The one error of a resource script compilation: where it is and what is wrong. The compiler's stages
// throw it; CompileScript catches it and turns it into the "file:line: message" text.
#pragma once
#include <string>

namespace kvplat::rsrc {

struct CompileError {
  int file = 0;  // index into the compilation's file table
  int line = 0;  // 1-based; 0 when the error concerns the file as a whole
  std::string message;
};

}  // namespace kvplat::rsrc
