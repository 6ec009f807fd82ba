// Text from outside (a file's line, a script's word, a path) as the platform's diagnostics may show it on a
// terminal: nothing in it can move the cursor, clear the screen, retitle the window or start any other
// escape sequence, and what a person can read stays as it was.
#pragma once
#include <string>
#include <string_view>

namespace kvplat {

// Printable ASCII and well-formed UTF-8 of printable code points stay as they are. The C0 controls (tab and
// line end among them), DEL, the C1 controls U+0080..U+009F (which a terminal may take as ESC sequences, as
// CSI U+009B), and every byte that is not part of well-formed UTF-8 are written as \xNN, one byte each.
std::string EscapeForTerminal(std::string_view text);

}  // namespace kvplat
