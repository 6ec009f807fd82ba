// Whether a control's text was drawn whole. Every widget tells it for each text it draws (a caption, a
// cell, an edit's contents); nothing in the front end keeps it, but a listener may: the window tests list the
// texts that a layout cuts, at two resolutions.
#pragma once
#include <windows.h>

#include <string_view>

namespace kvplat::window {

using TextFitListener = void (*)(HWND control, std::string_view text, bool whole);
void SetTextFitListener(TextFitListener listener);

void ReportTextFit(HWND control, std::string_view text, bool whole);

}  // namespace kvplat::window
