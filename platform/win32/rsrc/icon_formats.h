// Readers of the icon resources: the directory of an RT_GROUP_ICON resource, and one RT_ICON image (a
// device-independent bitmap followed by its AND mask). They are pure functions of their bytes and check
// every length before they read, whatever the bytes are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kvplat/resources.h"

namespace kvplat::rsrc {

// The RT_ICON ids of an RT_GROUP_ICON resource's images (its GRPICONDIRENTRY records), in its order.
bool ReadGroupIconDirectory(const void *data, std::size_t size, std::vector<uint16_t> *ids, std::string *error);

// Decodes an icon image of 4, 8 or 32 bits per pixel (the depths of the program's icon) into 0xAARRGGBB
// pixels, top row first. The AND mask makes pixels transparent (0x00000000); a 32-bit image uses its own
// alpha channel unless that is zero throughout. Other depths and PNG-compressed images are refused. With
// out null, it only checks that the image can be decoded.
bool DecodeIconImage(const void *data, std::size_t size, IconImage *out, std::string *error);

}  // namespace kvplat::rsrc
