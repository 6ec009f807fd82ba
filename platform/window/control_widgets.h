// The widgets of the predefined control classes (one file each), made by MakeControlWidget.
#pragma once
#include <windows.h>

#include <memory>

#include "control_widget.h"

namespace kvplat::window {

std::unique_ptr<ControlWidget> MakePushButton(HWND hwnd, const RECT &rect);
std::unique_ptr<ControlWidget> MakeGroupBox(HWND hwnd, const RECT &rect);
std::unique_ptr<ControlWidget> MakeEditBox(HWND hwnd, const RECT &rect);
std::unique_ptr<ControlWidget> MakeStaticText(HWND hwnd, const RECT &rect);
std::unique_ptr<ControlWidget> MakeListView(HWND hwnd, const RECT &rect);

}  // namespace kvplat::window
