#include "core/sim_machine.h"

#include <algorithm>
#include <cstring>

#include "core/default_masks.h"
#include "core/pci_regs.h"
#include "core/test_port.h"
#include "core/write_rule.h"

namespace kvsys {

SimMachine::SimMachine(uint32_t domain)
    : domain_(domain),
      mask_scratch_(std::make_unique<uint8_t[]>(std::size_t{2} * kExtendedSize)),
      index_(kFunctionCount, -1) {}
SimMachine::~SimMachine() = default;

SimMachine::Function *SimMachine::Find(FunctionIndex fn) {
  const int32_t at = index_[fn];
  return at < 0 ? nullptr : &functions_[static_cast<size_t>(at)];
}

const SimMachine::Function *SimMachine::Find(FunctionIndex fn) const {
  const int32_t at = index_[fn];
  return at < 0 ? nullptr : &functions_[static_cast<size_t>(at)];
}

void SimMachine::Put(FunctionIndex fn, std::span<const uint8_t> image) {
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
}

void SimMachine::NoteOtherDomain(uint32_t domain) {
  const auto at = std::lower_bound(other_domains_.begin(), other_domains_.end(), domain);
  if (at == other_domains_.end() || *at != domain) other_domains_.insert(at, domain);
}

void SimMachine::SetWritableMask(FunctionIndex fn, std::span<const uint8_t> mask) {
  Function *f = Find(fn);
  if (!f) return;
  if (!f->masks) f->masks = std::make_unique<ExplicitMasks>();
  f->masks->writable.emplace(mask.begin(), mask.end());
}

void SimMachine::SetClearOnWriteMask(FunctionIndex fn, std::span<const uint8_t> mask) {
  Function *f = Find(fn);
  if (!f) return;
  if (!f->masks) f->masks = std::make_unique<ExplicitMasks>();
  f->masks->w1c.emplace(mask.begin(), mask.end());
}

std::span<const uint8_t> SimMachine::Image(FunctionIndex fn) const {
  const Function *f = Find(fn);
  if (!f) return {};
  return {f->image.get(), f->size};
}

void SimMachine::MasksOf(const Function &f, uint8_t *writable, uint8_t *w1c) const {
  if (f.size == 0) return;  // an empty image has no masks, and its callers' buffers may be null
  ComputeDefaultMasks(f.image.get(), f.size, writable, w1c);
  if (!f.masks) return;
  // An explicit mask replaces the computed one over the whole image; bytes past its end are 0.
  auto apply = [&](const std::optional<std::vector<uint8_t>> &given, uint8_t *out) {
    if (!given) return;
    std::memset(out, 0, f.size);
    // An empty mask ("writable": "") may have no buffer at all.
    if (!given->empty()) std::memcpy(out, given->data(), std::min<size_t>(given->size(), f.size));
  };
  apply(f.masks->writable, writable);
  apply(f.masks->w1c, w1c);
}

bool SimMachine::Masks(FunctionIndex fn, std::vector<uint8_t> *writable, std::vector<uint8_t> *w1c) const {
  const Function *f = Find(fn);
  if (!f) return false;
  writable->assign(f->size, 0);
  w1c->assign(f->size, 0);
  MasksOf(*f, writable->data(), w1c->data());
  return true;
}

std::vector<FunctionIndex> SimMachine::Functions() const {
  std::vector<FunctionIndex> out;
  out.reserve(functions_.size());
  for (unsigned i = 0; i < kFunctionCount; ++i)
    if (index_[i] >= 0) out.push_back(static_cast<FunctionIndex>(i));
  return out;
}

void SimMachine::Reset(FunctionIndex fn) {
  Function *f = Find(fn);
  if (!f) return;
  uint8_t *writable = mask_scratch_.get(), *w1c = writable + kExtendedSize;
  MasksOf(*f, writable, w1c);
  for (size_t i = 0; i < f->size; ++i) f->image[i] &= static_cast<uint8_t>(~(writable[i] | w1c[i]));
}

bool SimMachine::Poke(FunctionIndex fn, unsigned offset, std::span<const uint8_t> bytes) {
  Function *f = Find(fn);
  if (!f || offset > f->size || bytes.size() > f->size - offset) return false;
  if (!bytes.empty()) std::memcpy(f->image.get() + offset, bytes.data(), bytes.size());
  return true;
}

void SimMachine::SetPlugged(FunctionIndex fn, bool plugged) {
  if (Function *f = Find(fn)) f->plugged = plugged;
}

bool SimMachine::Plugged(FunctionIndex fn) const {
  const Function *f = Find(fn);
  return f && f->plugged;
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
  uint8_t *writable = mask_scratch_.get(), *w1c = writable + kExtendedSize;
  MasksOf(*f, writable, w1c);
  ApplyWrite(f->image.get(), f->size, writable, w1c, offset, data, length);
  return Access::kDone;
}

ControlResult SimMachine::Control(std::string_view command, std::string *why) {
  return RunTestPortCommand(*this, command, why);
}

}  // namespace kvsys
