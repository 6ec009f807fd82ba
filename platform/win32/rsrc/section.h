// The resource section of an executable image (.rsrc) as a linker lays it out from a resource compiler's
// output: a tree of IMAGE_RESOURCE_DIRECTORY tables three levels deep (type, name, language) whose leaves
// are IMAGE_RESOURCE_DATA_ENTRY records. Offsets of tables count from the start of the section, and so does
// a data entry's OffsetToData, an RVA of the section placed at RVA 0: the value that windres writes into
// its COFF output before a linker relocates it. Reading is pure and bounded by the given size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvplat::rsrc {

// One leaf of the tree. Types and names are ordinals: the program's resources have no names.
struct SectionEntry {
  uint16_t type = 0, name = 0, language = 0;
  uint32_t entryOffset = 0;  // of its IMAGE_RESOURCE_DATA_ENTRY: what an HRSRC points at
  uint32_t dataOffset = 0;
  uint32_t size = 0;
};

// Reads every leaf, in the directories' order. Refuses (false, with the reason and its offset in *error) a
// tree that leaves the section, is not three levels deep, reaches a table twice, names a resource, keeps a
// directory's entries out of the order that the loader's binary search needs, or puts data outside the
// section.
bool ReadResourceSection(const void *section, std::size_t size, std::vector<SectionEntry> *out, std::string *error);

// The leaf that the loader finds for a type and a name asked for in the neutral language, as FindResourceA
// asks: the user's language (English (US) on this platform), else the first language present. Null with
// ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND in *error.
const SectionEntry *FindSectionEntry(const std::vector<SectionEntry> &entries, uint16_t type, uint16_t name,
                                     uint32_t *error);

}  // namespace kvplat::rsrc
