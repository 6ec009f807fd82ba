// Text conversion from the UTF-16 strings stored in binary resources to the narrow strings of the program
// (Windows code page 1252, the "ANSI" code page of a Western system).
#pragma once
#include <string>

namespace kvplat::rsrc {

// UTF-16 to code page 1252, for the characters it shares with Latin-1 (ASCII and 0xA0 to 0xFF, all that
// the program's resources hold); any other becomes '?'.
std::string EncodeAnsi(const std::u16string &text);

}  // namespace kvplat::rsrc
