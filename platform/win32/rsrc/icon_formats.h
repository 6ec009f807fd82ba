// Readers of the icon resources: the directory of an RT_GROUP_ICON resource, and one RT_ICON image (a
// device-independent bitmap followed by its AND mask). They are pure functions of their bytes and check
// every length before they read, whatever the bytes are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kvplat/icon.h"

namespace kvplat::rsrc {

// GRPICONDIRENTRY of an RT_GROUP_ICON resource: an image's size and depth, and its RT_ICON id.
struct GroupIconEntry {
  uint8_t width = 0, height = 0, colorCount = 0;
  uint16_t planes = 0, bitCount = 0;
  uint32_t bytes = 0;
  uint16_t id = 0;
};

bool ReadGroupIconDirectory(const void *data, std::size_t size, std::vector<GroupIconEntry> *out,
                            std::string *error);

// Decodes an icon image of 1, 4, 8, 24 or 32 bits per pixel into 0xAARRGGBB pixels, top row first. The
// AND mask makes pixels transparent (0x00000000); a 32-bit image uses its own alpha channel unless that is
// zero throughout. PNG-compressed images are refused.
bool DecodeIconImage(const void *data, std::size_t size, IconImage *out, std::string *error);

}  // namespace kvplat::rsrc
