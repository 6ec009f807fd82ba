#include "res_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "rsrc/bytes.h"

using kvplat::rsrc::ByteReader;

namespace {

// A type or name in a .res header: 0xFFFF and an ordinal (the scripts here name nothing).
uint16_t ReadId(ByteReader &r) {
  EXPECT_EQ(0xFFFF, r.U16()) << "a named resource";
  return r.U16();
}

}  // namespace

std::vector<uint8_t> SectionBytes(const kvplat::EmbeddedFile *table) {
  for (const kvplat::EmbeddedFile *f = table; f->name; ++f) {
    if (std::strcmp(f->name, ".rsrc") == 0) return std::vector<uint8_t>(f->data, f->data + f->size);
  }
  ADD_FAILURE() << "no .rsrc in the table";
  return {};
}

std::vector<ResFileEntry> ReadResFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(bytes.empty()) << "cannot read " << path;
  ByteReader r(bytes.data(), bytes.size());
  std::vector<ResFileEntry> out;
  while (r.remaining() > 0) {
    const std::size_t start = r.offset();
    const uint32_t dataSize = r.U32(), headerSize = r.U32();
    ResFileEntry res;
    res.type = ReadId(r);
    res.name = ReadId(r);
    r.AlignDword();
    r.Skip(6);  // data version, memory flags
    res.language = r.U16();
    r.Skip(8);  // version, characteristics
    const uint8_t *data = r.Bytes(dataSize);
    if (!r.ok() || r.offset() - start != headerSize + dataSize) {
      ADD_FAILURE() << path << ": bad resource at offset " << start;
      return out;
    }
    res.data.assign(data, data + dataSize);
    r.AlignDword();
    if (dataSize != 0 || headerSize != 32) out.push_back(std::move(res));
  }
  return out;
}
