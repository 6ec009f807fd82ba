#include "resource_checks.h"

#include <string>

#include "fuzz_check.h"
#include "kvplat/dlgtemplate.h"
#include "kvplat/icon.h"
#include "rsrc/icon_formats.h"

namespace kvfuzz {

namespace {

using kvplat::rsrc::ResId;
using kvplat::rsrc::Resource;

constexpr uint16_t kRtIcon = 3, kRtDialog = 5, kRtGroupIcon = 14;

const Resource *FindOrdinal(const std::vector<Resource> &resources, uint16_t type, uint16_t id, uint16_t language) {
  for (const Resource &r : resources)
    if (r.type == ResId::Ordinal(type) && r.name == ResId::Ordinal(id) && r.language == language) return &r;
  return nullptr;
}

}  // namespace

void CheckCompiledResources(const std::vector<Resource> &resources) {
  std::string error;
  for (const Resource &r : resources) {
    if (r.type == ResId::Ordinal(kRtDialog)) {
      kvplat::DialogTemplate dialog;
      FUZZ_CHECK(kvplat::ParseDialogTemplate(r.data.data(), r.data.size(), &dialog, &error));
    } else if (r.type == ResId::Ordinal(kRtGroupIcon)) {
      std::vector<kvplat::rsrc::GroupIconEntry> entries;
      FUZZ_CHECK(kvplat::rsrc::ReadGroupIconDirectory(r.data.data(), r.data.size(), &entries, &error));
      for (const auto &entry : entries) {
        const Resource *image = FindOrdinal(resources, kRtIcon, entry.id, r.language);
        FUZZ_CHECK(image != nullptr);
        FUZZ_CHECK(image->data.size() == entry.bytes);
        kvplat::IconImage decoded;
        if (kvplat::rsrc::DecodeIconImage(image->data.data(), image->data.size(), &decoded, &error))
          FUZZ_CHECK(decoded.argb.size() == static_cast<size_t>(decoded.width) * decoded.height);
      }
    }
  }
}

}  // namespace kvfuzz
