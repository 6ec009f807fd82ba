// Text conversion between the narrow strings of resource scripts and the program (Windows code page
// 1252, the "ANSI" code page of a Western system) and the UTF-16 strings stored in binary resources.
#pragma once
#include <string>

namespace kvplat::rsrc {

constexpr unsigned kCodePageAnsi = 1252;
constexpr unsigned kCodePageUtf8 = 65001;

// Narrow text in `codePage` (1252 or 65001) to UTF-16; bytes that are not valid UTF-8 become U+FFFD.
std::u16string DecodeCodePage(const std::string &text, unsigned codePage);

// UTF-16 to code page 1252; characters that it cannot hold become '?'.
std::string EncodeAnsi(const std::u16string &text);

}  // namespace kvplat::rsrc
