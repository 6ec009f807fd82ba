#include "core/sim_machine.h"

#include <algorithm>
#include <cstring>

#include "core/default_masks.h"
#include "core/pci_regs.h"
#include "core/restore_plan.h"
#include "core/test_port.h"
#include "core/write_rule.h"

namespace kvsys {

namespace {

constexpr size_t kMaxLoggedWrites = 4096;  // a whole extended space restored a register at a time, and more

// One write of the restore plan into a simulated function: the write rule over the register's bytes.
struct RegisterRun {
  uint8_t *image;
  size_t size;
  const uint8_t *writable;
  const uint8_t *w1c;
  unsigned first;  // configuration offset of data[0]
  const uint8_t *data;
  std::deque<std::pair<FunctionIndex, RegisterWrite>> *log;
  FunctionIndex fn;
};

bool WriteSimRegister(void *context, const RegisterWrite &write) {
  const RegisterRun &run = *static_cast<const RegisterRun *>(context);
  ApplyWrite(run.image, run.size, run.writable, run.w1c, write.offset, run.data + (write.offset - run.first),
             write.width);
  if (run.log->size() == kMaxLoggedWrites) run.log->pop_front();
  run.log->emplace_back(run.fn, write);
  return true;
}

}  // namespace

SimMachine::SimMachine(uint32_t domain)
    : domain_(domain),
      scratch_(std::make_unique<uint8_t[]>(std::size_t{3} * kExtendedSize)),
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
  uint8_t *writable = scratch_.get(), *w1c = writable + kExtendedSize;
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
  uint8_t *writable = scratch_.get(), *w1c = writable + kExtendedSize, *present = w1c + kExtendedSize;
  MasksOf(*f, writable, w1c);
  // The restore plan, as the HAL machine writes hardware: the registers that differ from the function's
  // present bytes, highest first, each through the write rule.
  length = std::min<unsigned>(length, kExtendedSize);
  const unsigned known = std::min<unsigned>(length, f->size - offset);
  std::memcpy(present, f->image.get() + offset, known);
  RegisterRun run{f->image.get(), f->size, writable, w1c, offset, data, &writes_, fn};
  VisitRestoreWrites(offset, length, present, known, data, WriteSimRegister, &run);
  return Access::kDone;
}

std::vector<RegisterWrite> SimMachine::TakeWrites(FunctionIndex fn) {
  std::vector<RegisterWrite> taken;
  for (auto it = writes_.begin(); it != writes_.end();) {
    if (it->first != fn) {
      ++it;
      continue;
    }
    taken.push_back(it->second);
    it = writes_.erase(it);
  }
  return taken;
}

ControlResult SimMachine::Control(std::string_view command, std::string *text) {
  return RunTestPortCommand(*this, command, text);
}

}  // namespace kvsys
