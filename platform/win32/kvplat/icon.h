// What an HICON is inside the platform: every image of the icon group it was loaded from, decoded.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

namespace kvplat {

struct IconImage {
  int width = 0;
  int height = 0;
  int bitCount = 0;              // colour depth of the stored image: 4, 8 or 32
  std::vector<uint32_t> argb;    // width * height pixels, top row first, 0xAARRGGBB
};

struct IconState {
  std::vector<IconImage> images;  // in the group's order
  int preferred = 0;              // the image LoadIconA chose for SM_CXICON x SM_CYICON
};

// The state behind an icon handle, or null when the handle is not an icon.
const IconState *IconFromHandle(HICON icon);

}  // namespace kvplat
