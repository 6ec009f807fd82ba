// Text conversion from the UTF-16 strings stored in binary resources to the narrow strings of the program
// (Windows code page 1252, the "ANSI" code page of a Western system).
#pragma once
#include <string>

namespace kvplat::rsrc {

// UTF-16 to code page 1252; characters that it cannot hold become '?'.
std::string EncodeAnsi(const std::u16string &text);

}  // namespace kvplat::rsrc
