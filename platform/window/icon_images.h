// A window's icons (WM_SETICON) for the window manager: every decoded image of the big and the small icon
// as an FLTK RGBA image.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

class Fl_Window;

namespace kvplat::window {

// 0xAARRGGBB pixels to R, G, B, A bytes, as Fl_RGB_Image takes them with depth 4.
std::vector<unsigned char> RgbaFromArgb(const std::vector<uint32_t> &argb);

// Gives the window the images of both icons (either may be null); the window copies them.
void ApplyWindowIcons(Fl_Window *window, HICON big, HICON small);

}  // namespace kvplat::window
