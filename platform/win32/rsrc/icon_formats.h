// Readers of the icon formats: the directory of an .ico file, the directory of an RT_GROUP_ICON resource,
// and one icon image (a device-independent bitmap followed by its AND mask). They are pure functions of
// their bytes and check every length before they read, whatever the bytes are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kvplat/icon.h"

namespace kvplat::rsrc {

// ICONDIRENTRY of an .ico file.
struct IcoEntry {
  uint8_t width = 0, height = 0, colorCount = 0, reserved = 0;  // 0 stands for 256 in width and height
  uint16_t planes = 0, bitCount = 0;
  uint32_t bytes = 0, offset = 0;
};

// Fails unless the file is an icon file (type 1) with at least one image, each inside the file.
bool ReadIcoDirectory(const void *data, std::size_t size, std::vector<IcoEntry> *out, std::string *error);

// GRPICONDIRENTRY of an RT_GROUP_ICON resource: the same fields, with the RT_ICON id instead of an offset.
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
