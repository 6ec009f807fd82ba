#include "core/sim_machine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/default_masks.h"
#include "core/pci_regs.h"
#include "core/write_rule.h"

namespace kvsys {

namespace {

constexpr size_t kMaxLoggedWrites = 4096;  // a whole extended space restored a register at a time, and more

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  for (size_t at = text.find_first_not_of(" \t"); at != std::string_view::npos;) {
    const size_t end = std::min(text.find_first_of(" \t", at), text.size());
    words.push_back(text.substr(at, end - at));
    at = text.find_first_not_of(" \t", end);
  }
  return words;
}

bool Refuse(std::string *why, std::string text) {
  *why = std::move(text);
  return false;
}

}  // namespace

SimMachine::SimMachine(uint32_t domain)
    : domain_(domain),
      scratch_(std::make_unique<uint8_t[]>(std::size_t{3} * kExtendedSize)),
      index_(kFunctionCount, -1) {}
SimMachine::~SimMachine() = default;

const SimMachine::Function *SimMachine::Find(FunctionIndex fn) const {
  return index_[fn] < 0 ? nullptr : &functions_[static_cast<size_t>(index_[fn])];
}

void SimMachine::Put(FunctionIndex fn, std::span<const uint8_t> image, ExplicitMasks masks) {
  Function *f = Find(fn);
  if (!f) {
    index_[fn] = static_cast<int32_t>(functions_.size());
    f = &functions_.emplace_back();
  }
  const size_t size = std::min<size_t>(image.size(), kExtendedSize);
  f->image = std::make_unique<uint8_t[]>(size);
  if (size) std::memcpy(f->image.get(), image.data(), size);
  f->size = static_cast<uint16_t>(size);
  f->plugged = true;
  f->masks.reset();
  if (masks.writable || masks.w1c) f->masks = std::make_unique<ExplicitMasks>(std::move(masks));
}

void SimMachine::NoteOtherDomain(uint32_t domain) {
  if (domain >= other_domains_.size()) other_domains_.resize(size_t{domain} + 1);
  other_domains_[domain] = true;
}

std::vector<uint32_t> SimMachine::other_domains() const {
  std::vector<uint32_t> domains;
  for (uint32_t d = 0; d < other_domains_.size(); ++d)
    if (other_domains_[d]) domains.push_back(d);
  return domains;
}

void SimMachine::MasksOf(FunctionIndex fn, uint8_t *writable, uint8_t *w1c) const {
  const Function *f = Find(fn);
  if (!f || f->size == 0) return;  // an empty image has no masks, and its callers' buffers may be null
  ComputeDefaultMasks(f->image.get(), f->size, writable, w1c);
  if (!f->masks) return;
  // An explicit mask replaces the computed one over the whole image; bytes past its end are 0.
  for (auto [given, out] : {std::pair{&f->masks->writable, writable}, std::pair{&f->masks->w1c, w1c}}) {
    if (!*given) continue;
    std::memset(out, 0, f->size);
    // An empty mask ("writable": "") may have no buffer at all.
    if (!(*given)->empty()) std::memcpy(out, (*given)->data(), std::min<size_t>((*given)->size(), f->size));
  }
}

Access SimMachine::Read(FunctionIndex fn, unsigned offset, unsigned length, uint8_t *out) {
  std::memset(out, 0xff, length);
  const Function *f = Find(fn);
  if (!f || !f->plugged) return Access::kAbsent;
  if (offset < f->size) std::memcpy(out, f->image.get() + offset, std::min<size_t>(length, f->size - offset));
  return Access::kDone;
}

Access SimMachine::Write(FunctionIndex fn, unsigned offset, unsigned length, const uint8_t *data) {
  Function *f = Find(fn);
  if (!f || !f->plugged) return Access::kAbsent;
  if (offset >= f->size) return Access::kDone;  // nothing there to keep the bytes
  uint8_t *writable = scratch_.get(), *w1c = writable + kExtendedSize, *present = w1c + kExtendedSize;
  MasksOf(fn, writable, w1c);
  // The restore plan, as the HAL machine writes hardware: the registers that differ from the function's
  // present bytes, highest first, each through the write rule.
  length = std::min<unsigned>(length, kExtendedSize);
  const unsigned known = std::min<unsigned>(length, f->size - offset);
  std::memcpy(present, f->image.get() + offset, known);
  VisitRestoreWrites(offset, length, present, known, data, [&](const RegisterWrite &write) {
    ApplyWrite(f->image.get(), f->size, writable, w1c, write.offset, write.value, write.width);
    if (writes_.size() == kMaxLoggedWrites) writes_.pop_front();
    writes_.emplace_back(fn, write);
    return true;
  });
  return Access::kDone;
}

bool SimMachine::Control(std::string_view command, std::string *text) {
  const std::vector<std::string_view> words = SplitWords(command);
  if (words.empty()) return Refuse(text, "empty machine command");
  const std::string_view verb = words[0];
  const bool is_poke = verb == "poke";
  if (verb != "reset" && verb != "unplug" && verb != "plug" && verb != "writes" && !is_poke)
    return Refuse(text, "unknown machine command \"" + std::string(verb) + "\" (reset, poke, unplug, plug or writes)");
  if (is_poke ? words.size() < 4 : words.size() != 2)
    return Refuse(text, is_poke ? "usage: poke BB:DD.F OFFSET XX [XX ...]" : "usage: " + std::string(verb) + " BB:DD.F");

  PciAddress address;
  std::string bad;
  if (!ParsePciAddress(words[1], &address, &bad)) return Refuse(text, bad);
  if (!address.has_domain) address.domain = domain_;
  const FunctionIndex fn = address.Index();
  if (address.domain != domain_) {  // named with its domain, 0000 too
    char line[96];
    std::snprintf(line, sizeof line, "no function %04x:%02x:%02x.%x in this machine (it serves domain %04x)",
                  static_cast<unsigned>(address.domain), static_cast<unsigned>(address.bus),
                  static_cast<unsigned>(address.device), static_cast<unsigned>(address.function),
                  static_cast<unsigned>(domain_));
    return Refuse(text, line);
  }
  Function *f = Find(fn);
  if (!f) return Refuse(text, "no function " + FormatAddress(address) + " in this machine");

  text->clear();
  if (verb == "writes") {
    const char *separator = "";
    for (auto it = writes_.begin(); it != writes_.end();) {
      if (it->first != fn) {
        ++it;
        continue;
      }
      char word[16];
      std::snprintf(word, sizeof word, "%s%x/%u", separator, it->second.offset, it->second.width);
      *text += word;
      separator = " ";
      it = writes_.erase(it);
    }
    if (*separator == '\0') *text = "none";
  } else if (verb == "reset") {
    // The state of hardware that lost its settings.
    uint8_t *writable = scratch_.get(), *w1c = writable + kExtendedSize;
    MasksOf(fn, writable, w1c);
    for (size_t i = 0; i < f->size; ++i) f->image[i] &= static_cast<uint8_t>(~(writable[i] | w1c[i]));
  } else if (verb == "unplug" || verb == "plug") {
    f->plugged = verb == "plug";
  } else {
    std::string_view offset_text = words[2];
    if (offset_text.starts_with("0x") || offset_text.starts_with("0X")) offset_text.remove_prefix(2);
    uint32_t offset = 0;
    if (!ParseHex(offset_text, 3, &offset))
      return Refuse(text, "poke: \"" + std::string(words[2]) + "\" is not a hex offset 0-fff");
    std::vector<uint8_t> bytes;
    for (size_t i = 3; i < words.size(); ++i) {
      uint32_t value = 0;
      if (words[i].size() != 2 || !ParseHex(words[i], 2, &value))
        return Refuse(text, "poke: \"" + std::string(words[i]) + "\" is not a hex byte");
      bytes.push_back(static_cast<uint8_t>(value));
    }
    if (offset > f->size || bytes.size() > f->size - offset) {
      char line[160];
      std::snprintf(line, sizeof line, "poke: %zu bytes at 0x%x pass the end of the %u-byte image of %s", bytes.size(),
                    offset, unsigned{f->size}, FormatAddress(address).c_str());
      return Refuse(text, line);
    }
    std::copy(bytes.begin(), bytes.end(), f->image.get() + offset);
  }
  return true;
}

}  // namespace kvsys
