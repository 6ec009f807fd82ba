#include "rsrc/section.h"

#include <windows.h>

#include <set>

namespace kvplat::rsrc {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;  // in OffsetToData: a subdirectory
constexpr std::size_t kDirectorySize = 16;  // IMAGE_RESOURCE_DIRECTORY
constexpr std::size_t kEntrySize = 8;       // IMAGE_RESOURCE_DIRECTORY_ENTRY
constexpr std::size_t kDataEntrySize = 16;  // IMAGE_RESOURCE_DATA_ENTRY
constexpr int kLanguageLevel = 2;           // levels: 0 type, 1 name, 2 language

class TreeReader {
 public:
  TreeReader(const void *section, std::size_t size, std::vector<SectionEntry> *out)
      : base_(static_cast<const uint8_t *>(section)), size_(section ? size : 0), out_(out) {}

  bool Read(std::string *error) {
    SectionEntry path;
    if (Directory(0, 0, &path)) return true;
    if (error) *error = error_;
    return false;
  }

 private:
  bool Inside(uint64_t at, uint64_t length) const { return at <= size_ && length <= size_ - at; }
  uint16_t U16(std::size_t at) const { return static_cast<uint16_t>(base_[at] | (base_[at + 1] << 8)); }
  uint32_t U32(std::size_t at) const { return U16(at) | (static_cast<uint32_t>(U16(at + 2)) << 16); }

  bool Fail(uint64_t at, const std::string &why) {
    error_ = why + " (offset " + std::to_string(at) + ")";
    return false;
  }

  // A directory or a data entry that lies inside the section and has not been reached before: so every
  // table is read once, and the walk ends after at most one step per table.
  bool Claim(uint32_t at, std::size_t length, const char *what) {
    if (!Inside(at, length)) return Fail(at, std::string(what) + " lies outside the section");
    if (!claimed_.insert(at).second) return Fail(at, std::string(what) + " is reached twice");
    return true;
  }

  bool Directory(uint32_t at, int level, SectionEntry *path) {
    if (!Claim(at, kDirectorySize, "a resource directory")) return false;
    if (U16(at + 12) != 0) return Fail(at, "a resource is given by name");
    const std::size_t count = U16(at + 14);
    if (!Inside(at + kDirectorySize, count * kEntrySize))
      return Fail(at, "a resource directory's entries lie outside the section");
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t entry = at + kDirectorySize + i * kEntrySize;
      const uint32_t key = U32(entry), target = U32(entry + 4);
      if (key > 0xFFFF) return Fail(entry, "a resource ordinal is wider than 16 bits");
      if (i > 0 && key <= U32(entry - kEntrySize)) return Fail(entry, "resource directory entries are out of order");
      const uint16_t id = static_cast<uint16_t>(key);
      if (level == kLanguageLevel) {
        if (target & kHighBit) return Fail(entry, "a language leads to a further directory");
        path->language = id;
        if (!Data(target, *path)) return false;
        continue;
      }
      if (!(target & kHighBit)) return Fail(entry, "a type or name leads to data instead of a directory");
      (level == 0 ? path->type : path->name) = id;
      if (!Directory(target & ~kHighBit, level + 1, path)) return false;
    }
    return true;
  }

  bool Data(uint32_t at, SectionEntry leaf) {
    if (!Claim(at, kDataEntrySize, "a resource data entry")) return false;
    leaf.entryOffset = at;
    leaf.dataOffset = U32(at);
    leaf.size = U32(at + 4);
    if (!Inside(leaf.dataOffset, leaf.size)) return Fail(at, "resource data lies outside the section");
    out_->push_back(std::move(leaf));
    return true;
  }

  const uint8_t *base_;
  std::size_t size_;
  std::vector<SectionEntry> *out_;
  std::set<uint32_t> claimed_;
  std::string error_;
};

}  // namespace

bool ReadResourceSection(const void *section, std::size_t size, std::vector<SectionEntry> *out, std::string *error) {
  out->clear();
  if (size > 0xFFFFFFFFu) {
    if (error) *error = "the section is larger than 4 GB";
    return false;
  }
  if (TreeReader(section, size, out).Read(error)) return true;
  out->clear();
  return false;
}

const SectionEntry *FindSectionEntry(const std::vector<SectionEntry> &entries, uint16_t type, uint16_t name,
                                     uint32_t *error) {
  const SectionEntry *found = nullptr;
  bool typeFound = false;
  for (const SectionEntry &e : entries) {
    if (e.type != type) continue;
    typeFound = true;
    if (e.name != name) continue;
    if (e.language == MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) return &e;
    if (!found) found = &e;
  }
  if (!found) *error = typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
  return found;
}

}  // namespace kvplat::rsrc
