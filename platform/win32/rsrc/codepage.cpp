#include "rsrc/codepage.h"

namespace kvplat::rsrc {

std::string EncodeAnsi(const std::u16string &text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out.push_back(c < 0x80 || (c >= 0xA0 && c < 0x100) ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace kvplat::rsrc
