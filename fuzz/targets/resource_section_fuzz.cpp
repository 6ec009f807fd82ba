// The resource section reader over any bytes, and what the loader does with a section that it accepts: every
// resource lies inside the section, the loader's lookup finds each one by its own type, name and language,
// and its dialog templates and icon groups read or are refused within their bytes.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "kvplat/dlgtemplate.h"
#include "kvplat/icon.h"
#include "rsrc/icon_formats.h"
#include "rsrc/section.h"

namespace {

using kvplat::rsrc::ResourceId;
using kvplat::rsrc::SectionEntry;

ResourceId Ordinal(uint16_t ordinal) {
  ResourceId id;
  id.ordinal = ordinal;
  return id;
}

}  // namespace

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
    FUZZ_CHECK(kvplat::rsrc::FindSectionEntry(entries, e.type, e.name, e.language, &code) == &e);

    const uint8_t *bytes = data + e.dataOffset;
    if (e.type == Ordinal(LOWORD(RT_DIALOG))) {
      kvplat::DialogTemplate dialog;
      if (kvplat::ParseDialogTemplate(bytes, e.size, &dialog, &error)) FUZZ_CHECK(dialog.items.size() * 18 <= e.size);
    } else if (e.type == Ordinal(LOWORD(RT_GROUP_ICON))) {
      std::vector<kvplat::rsrc::GroupIconEntry> group;
      if (!kvplat::rsrc::ReadGroupIconDirectory(bytes, e.size, &group, &error)) continue;
      for (const auto &member : group) {
        const SectionEntry *image = kvplat::rsrc::FindSectionEntry(entries, Ordinal(LOWORD(RT_ICON)),
                                                                    Ordinal(member.id), e.language, &code);
        kvplat::IconImage decoded;
        if (image && kvplat::rsrc::DecodeIconImage(data + image->dataOffset, image->size, &decoded, &error))
          FUZZ_CHECK(decoded.argb.size() == static_cast<size_t>(decoded.width) * decoded.height);
      }
    }
  }
  return 0;
}
