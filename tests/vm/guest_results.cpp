#include "guest_results.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "driver_model.h"
#include "harness.h"

namespace kvvm {

namespace fs = std::filesystem;

fs::path GuestDir() { return KV_VM_GUEST_DIR; }

std::string SkipReason() {
  const fs::path skipped = GuestDir() / "skipped.txt";
  if (!fs::exists(skipped)) return "";
  std::string why = kvtest::ReadText(skipped);
  return why.empty() ? "the guest could not run here" : why;
}

std::string StepFile(const std::string &step, const std::string &name) {
  const fs::path path = GuestDir() / "results" / step / name;
  EXPECT_TRUE(fs::exists(path)) << "the guest's step " << step << " left no " << name;
  return kvtest::ReadText(path);
}

std::vector<kvtest::LspciFunction> Capture(const std::string &step, const std::string &name) {
  auto functions = kvtest::ParseLspci(StepFile(step, name));
  EXPECT_FALSE(functions.empty()) << "lspci listed nothing in " << step << "/" << name;
  return functions;
}

std::string Address(const kvtest::LspciFunction &f) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%s", f.domain, kvtest::Bdf(f.key).c_str());
  return text;
}

const kvtest::LspciFunction *Find(const std::vector<kvtest::LspciFunction> &capture, const std::string &address) {
  for (const auto &f : capture)
    if (Address(f) == address) return &f;
  return nullptr;
}

std::vector<int> Printed(const kvtest::LspciFunction &f) {
  std::vector<int> bytes = f.bytes;
  while (!bytes.empty() && bytes.back() < 0) bytes.pop_back();
  return bytes;
}

std::vector<nlohmann::ordered_json> JsonLines(const std::string &step, const std::string &name) {
  std::vector<nlohmann::ordered_json> lines;
  for (const std::string &line : kvtest::Lines(StepFile(step, name)))
    lines.push_back(nlohmann::ordered_json::parse(line));
  return lines;
}

std::vector<std::string> NewKernelLines(const std::string &before, const std::string &after) {
  const auto old = kvtest::Lines(before);
  const std::set<std::string> known(old.begin(), old.end());
  std::vector<std::string> added;
  for (const std::string &line : kvtest::Lines(after))
    if (!known.count(line)) added.push_back(line);
  return added;
}

std::vector<std::string> Errors(const std::vector<std::string> &kernelLines) {
  // `dmesg -r` starts a line with <N>: facility * 8 + level; levels 0 to 3 are emergency to error.
  std::vector<std::string> errors;
  for (const std::string &line : kernelLines) {
    unsigned priority = 0;
    if (std::sscanf(line.c_str(), "<%u>", &priority) == 1 && priority % 8 <= 3) errors.push_back(line);
  }
  return errors;
}

int FindCapability(const kvtest::LspciFunction &f, int id) {
  if (f.bytes[0x06] < 0 || !(f.bytes[0x06] & 0x10) || f.bytes[0x34] < 0) return 0;  // no list
  std::set<int> seen;
  for (int at = f.bytes[0x34] & 0xFC; at >= 0x40 && at < 0xFF && seen.insert(at).second;
       at = f.bytes[at + 1] & 0xFC) {
    if (f.bytes[at] < 0 || f.bytes[at + 1] < 0) return 0;
    if (f.bytes[at] == id) return at;
  }
  return 0;
}

namespace {

template <typename Visit>
void VisitExtCapabilities(const kvtest::LspciFunction &f, Visit visit) {
  std::set<int> seen;
  for (int at = 0x100; at >= 0x100 && at < 0xFFD && seen.insert(at).second;) {
    if (f.bytes[at] < 0 || f.bytes[at + 3] < 0) return;
    const unsigned header = f.bytes[at] | f.bytes[at + 1] << 8 | f.bytes[at + 2] << 16 | unsigned(f.bytes[at + 3]) << 24;
    if (header == 0 || header == 0xFFFFFFFF) return;
    if (!visit(at, static_cast<int>(header & 0xFFFF))) return;
    at = static_cast<int>(header >> 20) & 0xFFC;
  }
}

}  // namespace

int FindExtCapability(const kvtest::LspciFunction &f, int id) {
  int found = 0;
  VisitExtCapabilities(f, [&](int at, int capability) {
    if (capability == id) found = at;
    return found == 0;
  });
  return found;
}

std::vector<int> ExtCapabilityIds(const kvtest::LspciFunction &f) {
  std::vector<int> ids;
  VisitExtCapabilities(f, [&](int, int capability) {
    ids.push_back(capability);
    return true;
  });
  return ids;
}

}  // namespace kvvm
