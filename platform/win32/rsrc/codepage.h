// Text conversion between the narrow strings of the program (Windows code page 1252, the "ANSI" code page of
// a Western system) and the UTF-16 strings stored in binary resources.
#pragma once
#include <string>

namespace kvplat::rsrc {

// Code page 1252 to UTF-16, as MultiByteToWideChar converts it.
std::u16string DecodeAnsi(const std::string &text);

// UTF-16 to code page 1252; characters that it cannot hold become '?'.
std::string EncodeAnsi(const std::u16string &text);

}  // namespace kvplat::rsrc
