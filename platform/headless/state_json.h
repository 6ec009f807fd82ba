// The dialog's state as one JSON object: focus, list views, edits.
#pragma once
#include <windows.h>

#include <string>

namespace kvplat {

// {"focus":ID,"lists":{"ID":{"columns":[...],"widths":[...],"mark":M,"rows":[{"cells":[...],"data":D,
// "state":S}]}},"edits":{"ID":"text"}}, controls in the dialog's tab order.
std::string DialogStateJson(HWND dialog);

// {"caption":...,"text":...,"type":...}
std::string MessageBoxJson(const std::string &caption, const std::string &text, UINT type);

}  // namespace kvplat
