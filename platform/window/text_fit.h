// Whether a control's text was drawn whole. Every widget tells it for each text it draws (a caption, a
// cell, an edit's contents); the front end keeps nothing of it (text_fit.cpp). The window tests link their
// own routine in place of that file, to list the texts that a layout cuts at two resolutions.
#pragma once
#include <windows.h>

#include <string_view>

namespace kvplat::window {

void ReportTextFit(HWND control, std::string_view text, bool whole);

}  // namespace kvplat::window
