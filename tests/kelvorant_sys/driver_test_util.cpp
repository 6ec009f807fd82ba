#include "driver_test_util.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "core/dump_reader.h"

namespace kvtest {

std::string CapturePath(const std::string &name) { return std::string(KV_TEST_DATA_DIR) + "/lspci/" + name; }
std::string Capture(const std::string &name) { return ReadText(CapturePath(name)); }

bool TestFiles::ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                          std::string *why) {
  std::string text;
  if (!ReadText(path, &text, why)) return false;
  for (std::string_view rest = text; !rest.empty();) {
    const size_t end = rest.find('\n');
    if (!on_line(rest.substr(0, end))) break;
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return true;
}

bool TestFiles::ReadText(const std::string &path, std::string *text, std::string *why) {
  std::optional<std::string> found = text_of_(path);
  *why = "cannot open: No such file or directory";
  if (found) *text = std::move(*found);
  return found.has_value();
}

std::optional<std::string> LocalFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

DumpParse ParseDump(std::string_view text) {
  DumpParse result;
  kvsys::DumpReader reader([&](const kvsys::PciAddress &address, std::span<const uint8_t> image) {
    result.functions.push_back({address, std::vector<uint8_t>(image.begin(), image.end())});
    return std::string();
  });
  if (reader.FeedText(text)) {
    reader.Finish();
  } else {
    result.error = reader.error();
    result.error_line = reader.line();
  }
  return result;
}

std::vector<kvsys::FunctionIndex> FunctionsOf(const kvsys::SimMachine &machine) {
  std::vector<kvsys::FunctionIndex> out;
  for (unsigned fn = 0; fn < kvsys::kFunctionCount; ++fn)
    if (machine.Has(static_cast<kvsys::FunctionIndex>(fn))) out.push_back(static_cast<kvsys::FunctionIndex>(fn));
  return out;
}

void MasksOf(const kvsys::SimMachine &machine, kvsys::FunctionIndex fn, std::vector<uint8_t> *writable,
             std::vector<uint8_t> *w1c) {
  writable->assign(machine.Image(fn).size(), 0);
  w1c->assign(machine.Image(fn).size(), 0);
  machine.MasksOf(fn, writable->data(), w1c->data());
}

std::vector<uint8_t> MakeRequest(uint32_t code, uint32_t bus, uint32_t device, uint32_t function) {
  const kvsys::RequestInfo *info = kvsys::FindRequestByCode(code);
  std::vector<uint8_t> request(info ? info->size : 272, 0);
  const uint32_t address[3] = {bus, device, function};
  std::memcpy(request.data(), address, sizeof address);
  return request;
}

std::vector<uint8_t> MakeMcfg(const std::vector<McfgEntry> &entries) {
  std::vector<uint8_t> table(44 + 16 * entries.size(), 0);
  std::memcpy(table.data(), "MCFG", 4);
  const uint32_t length = static_cast<uint32_t>(table.size());
  std::memcpy(table.data() + 4, &length, 4);
  table[8] = 1;
  std::memcpy(table.data() + 10, "KVTEST", 6);
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t *e = table.data() + 44 + 16 * i;
    std::memcpy(e, &entries[i].base, 8);
    std::memcpy(e + 8, &entries[i].segment, 2);
    e[10] = entries[i].start_bus;
    e[11] = entries[i].end_bus;
  }
  uint8_t sum = 0;
  for (uint8_t b : table) sum = static_cast<uint8_t>(sum + b);
  table[9] = static_cast<uint8_t>(-sum);  // the checksum: all bytes add up to 0
  return table;
}

uint32_t StatusOf(const std::vector<uint8_t> &request) {
  uint32_t status;
  std::memcpy(&status, request.data() + request.size() - 4, 4);
  return status;
}

const uint8_t *DataOf(const std::vector<uint8_t> &request) { return request.data() + 12; }
uint8_t *DataOf(std::vector<uint8_t> &request) { return request.data() + 12; }

}  // namespace kvtest
