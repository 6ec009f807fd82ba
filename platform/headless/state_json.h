// The dialog's state as one JSON object: focus, list views, edits.
#pragma once
#include <windows.h>

#include <string>

namespace kvplat {

// {"focus":ID,"lists":{"ID":{"columns":[...],"widths":[...],"mark":M,"rows":[{"cells":[...],"data":D,
// "state":S}]}},"edits":{"ID":"text"}}, controls in the dialog's tab order.
std::string DialogStateJson(HWND dialog);

// {"messageBox":{"caption":...,"text":...,"type":...}}
std::string MessageBoxJson(const std::string &caption, const std::string &text, UINT type);

// {"machine":{"command":...,"answer":...}}: what the simulated hardware answered a `machine` action.
std::string MachineAnswerJson(const std::string &command, const std::string &answer);

}  // namespace kvplat
