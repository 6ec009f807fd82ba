// The icon readers over any bytes: as an .ico file that an ICON statement compiles into an icon group and
// its images (then read back as LoadIconA reads them), and as the raw bytes of an RT_GROUP_ICON or an
// RT_ICON resource.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "kvplat/icon.h"
#include "resource_checks.h"
#include "rsrc/icon_formats.h"
#include "rsrc/rc_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace kvplat::rsrc;
  std::string error;

  std::vector<IcoEntry> ico;
  const bool isIco = ReadIcoDirectory(data, size, &ico, &error);
  for (const IcoEntry &e : ico) {
    FUZZ_CHECK(e.offset <= size && e.bytes <= size - e.offset);
    kvplat::IconImage image;
    DecodeIconImage(data + e.offset, e.bytes, &image, &error);
  }

  const std::vector<ScriptFile> files = {
      {"fuzz.rc", "1 ICON \"fuzz.ico\"\n"},
      {"fuzz.ico", std::string(reinterpret_cast<const char *>(data), size)},
  };
  std::vector<Resource> resources;
  FUZZ_CHECK(CompileScript(files, &resources, &error) == isIco);
  if (isIco) {
    FUZZ_CHECK(resources.size() == ico.size() + 1);
    kvfuzz::CheckCompiledResources(resources);
  }

  std::vector<GroupIconEntry> group;
  ReadGroupIconDirectory(data, size, &group, &error);
  kvplat::IconImage image;
  if (DecodeIconImage(data, size, &image, &error)) {
    FUZZ_CHECK(image.width >= 1 && image.width <= 256 && image.height >= 1 && image.height <= 256);
    FUZZ_CHECK(image.argb.size() == static_cast<size_t>(image.width) * image.height);
  }
  return 0;
}
