#include "res_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "rsrc/bytes.h"
#include "rsrc/codepage.h"

using kvplat::rsrc::ByteReader;
using kvplat::rsrc::ResId;
using kvplat::rsrc::Resource;

namespace {

constexpr const char *kWindres = "x86_64-w64-mingw32-windres";

ResId ReadId(ByteReader &r) {
  ByteReader peek = r;
  if (peek.U16() == 0xFFFF) {
    r.U16();
    return ResId::Ordinal(r.U16());
  }
  return ResId::Name(r.String16());
}

}  // namespace

bool ReadResFile(const std::string &bytes, std::vector<Resource> *out, std::string *error) {
  ByteReader r(bytes.data(), bytes.size());
  out->clear();
  while (r.remaining() > 0) {
    std::size_t start = r.offset();
    uint32_t dataSize = r.U32();
    uint32_t headerSize = r.U32();
    Resource res;
    res.type = ReadId(r);
    res.name = ReadId(r);
    r.AlignDword();
    r.U32();  // data version
    r.U16();  // memory flags
    res.language = r.U16();
    r.Skip(8);  // version, characteristics
    if (!r.ok() || r.offset() - start != headerSize) {
      *error = "bad resource header at offset " + std::to_string(start);
      return false;
    }
    const uint8_t *data = r.Bytes(dataSize);
    if (!data) {
      *error = "truncated resource at offset " + std::to_string(start);
      return false;
    }
    res.data.assign(data, data + dataSize);
    r.AlignDword();
    if (dataSize != 0 || headerSize != 32) out->push_back(std::move(res));
  }
  return true;
}

bool WindresAvailable() { return std::system((std::string("command -v ") + kWindres + " >/dev/null 2>&1").c_str()) == 0; }

bool RunWindres(const std::string &script, const std::vector<std::string> &includes, std::vector<Resource> *out,
                std::string *error) {
  char dir[] = "/tmp/kv-windres-XXXXXX";
  if (!mkdtemp(dir)) {
    *error = "mkdtemp failed";
    return false;
  }
  std::string res = std::string(dir) + "/out.res", log = std::string(dir) + "/log.txt";
  std::string command = kWindres;
  for (const std::string &inc : includes) command += " -I '" + inc + "'";
  command += " '" + script + "' -O res -o '" + res + "' >'" + log + "' 2>&1";
  bool ran = std::system(command.c_str()) == 0;
  std::ifstream in(ran ? res : log, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  if (!ran) {
    *error = "windres failed: " + s.str();
    return false;
  }
  return ReadResFile(s.str(), out, error);
}

std::string Describe(const ResId &id) {
  return id.named ? "\"" + kvplat::rsrc::EncodeAnsi(id.name) + "\"" : std::to_string(id.id);
}
