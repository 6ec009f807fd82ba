// What the tests compare the linked sections with: the .res files that windres makes of the same scripts,
// and the sections themselves as the test executable links them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kvplat/resources.h"
#include "rsrc/section.h"

// The program's resource section and the fixture's (fixture.rc), linked in as the program links its own.
extern const kvplat::EmbeddedFile kv_embedded_resources[];
extern const kvplat::EmbeddedFile kv_fixture_resources[];

// The bytes of a table's ".rsrc" entry.
std::vector<uint8_t> SectionBytes(const kvplat::EmbeddedFile *table);

struct ResFileEntry {
  uint16_t type = 0, name = 0, language = 0;
  std::vector<uint8_t> data;
};

// Every resource of a .res file, without the empty entry that starts it; fails the test on a bad file or a
// named resource.
std::vector<ResFileEntry> ReadResFile(const std::string &path);
