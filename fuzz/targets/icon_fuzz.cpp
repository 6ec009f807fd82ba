// The icon readers over any bytes: as the RT_GROUP_ICON resource that LoadIconA reads first, and as one of
// its RT_ICON images.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "kvplat/resources.h"
#include "rsrc/icon_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace kvplat::rsrc;
  std::string error;
  std::vector<uint16_t> group;
  if (ReadGroupIconDirectory(data, size, &group, &error)) FUZZ_CHECK(6 + group.size() * 14 <= size);
  kvplat::IconImage image;
  if (DecodeIconImage(data, size, &image, &error)) {
    FUZZ_CHECK(image.width >= 1 && image.width <= 256 && image.height >= 1 && image.height <= 256);
    FUZZ_CHECK(image.argb.size() == static_cast<size_t>(image.width) * image.height);
  }
  return 0;
}
