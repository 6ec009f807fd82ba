// The resource section reader over any bytes, and what the loader does with a section that it accepts: every
// resource lies inside the section, the loader's lookup finds one of the same type and name for each, and
// its dialog templates and icon groups read or are refused within their bytes.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "kvplat/resources.h"
#include "rsrc/icon_formats.h"
#include "rsrc/section.h"

using kvplat::rsrc::SectionEntry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<SectionEntry> entries;
  std::string error;
  if (!kvplat::rsrc::ReadResourceSection(data, size, &entries, &error)) {
    FUZZ_CHECK(!error.empty() && entries.empty());
    return 0;
  }
  for (const SectionEntry &e : entries) {
    FUZZ_CHECK(e.entryOffset <= size && size - e.entryOffset >= 16);
    FUZZ_CHECK(e.dataOffset <= size && size - e.dataOffset >= e.size);
    uint32_t code = 0;
    const SectionEntry *found = kvplat::rsrc::FindSectionEntry(entries, e.type, e.name, &code);
    FUZZ_CHECK(found && found->type == e.type && found->name == e.name);

    const uint8_t *bytes = data + e.dataOffset;
    if (e.type == LOWORD(RT_DIALOG)) {
      kvplat::DialogTemplate dialog;
      if (kvplat::ParseDialogTemplate(bytes, e.size, &dialog, &error)) FUZZ_CHECK(dialog.items.size() * 18 <= e.size);
    } else if (e.type == LOWORD(RT_GROUP_ICON)) {
      std::vector<uint16_t> group;
      if (!kvplat::rsrc::ReadGroupIconDirectory(bytes, e.size, &group, &error)) continue;
      for (uint16_t member : group) {
        const SectionEntry *image = kvplat::rsrc::FindSectionEntry(entries, LOWORD(RT_ICON), member, &code);
        kvplat::IconImage decoded;
        if (image && kvplat::rsrc::DecodeIconImage(data + image->dataOffset, image->size, &decoded, &error))
          FUZZ_CHECK(decoded.argb.size() == static_cast<size_t>(decoded.width) * decoded.height);
      }
    }
  }
  return 0;
}
