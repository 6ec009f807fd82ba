// The simulated machine: per function a configuration image of 0 to 4096 bytes (as captured or given; bytes
// beyond it read as 0xFF and drop writes, as on the bus), optional explicit masks, and a plugged state.
// Lookup is one index into a 65,536-entry table. A write puts an image back as hardware gets it, through the
// restore plan (core/restore_plan.h) a register at a time, and the registers written are kept for the test
// port to tell.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/machine.h"
#include "core/pci_address.h"
#include "core/restore_plan.h"

namespace kvsys {

class SimMachine final : public Machine {
 public:
  explicit SimMachine(uint32_t domain);
  ~SimMachine() override;

  uint32_t domain() const { return domain_; }
  size_t function_count() const { return functions_.size(); }
  // The other domains that the machine's sources held functions of, which it does not serve (sorted).
  const std::vector<uint32_t> &other_domains() const { return other_domains_; }
  void NoteOtherDomain(uint32_t domain);

  // Adds a function or replaces the one at the same address (image and masks alike; a replaced function is
  // plugged). The image is cut at 4096 bytes.
  void Put(FunctionIndex fn, std::span<const uint8_t> image);
  // Explicit masks of a function already put: the given bytes cover offsets 0 to size-1 and every byte past
  // them is 0. A function without an explicit mask of a kind uses the default masks for it.
  void SetWritableMask(FunctionIndex fn, std::span<const uint8_t> mask);
  void SetClearOnWriteMask(FunctionIndex fn, std::span<const uint8_t> mask);

  bool Has(FunctionIndex fn) const { return index_[fn] >= 0; }
  // The image, or an empty span for an absent function (plugged or not).
  std::span<const uint8_t> Image(FunctionIndex fn) const;
  // The masks in force for the function's image, explicit or computed. False for an absent function.
  bool Masks(FunctionIndex fn, std::vector<uint8_t> *writable, std::vector<uint8_t> *w1c) const;
  // Every function present, in index order.
  std::vector<FunctionIndex> Functions() const;

  // Test port operations on a present function. Reset: every writable and write-one-to-clear bit becomes
  // 0, the state of hardware that lost its settings. Poke: the hardware itself changes bytes, whatever the
  // masks; false when they pass the end of the image. SetPlugged: an unplugged function stops answering.
  void Reset(FunctionIndex fn);
  bool Poke(FunctionIndex fn, unsigned offset, std::span<const uint8_t> bytes);
  void SetPlugged(FunctionIndex fn, bool plugged);
  bool Plugged(FunctionIndex fn) const;
  // The registers that writes to the function wrote, in order, since they were last taken (the last 4096
  // writes of the machine at most); they are forgotten here.
  std::vector<RegisterWrite> TakeWrites(FunctionIndex fn);

  Access Read(FunctionIndex fn, unsigned offset, unsigned length, uint8_t *out) override;
  Access Write(FunctionIndex fn, unsigned offset, unsigned length, const uint8_t *data) override;
  ControlResult Control(std::string_view command, std::string *text) override;

 private:
  struct ExplicitMasks {
    std::optional<std::vector<uint8_t>> writable;
    std::optional<std::vector<uint8_t>> w1c;
  };
  struct Function {
    std::unique_ptr<uint8_t[]> image;
    uint16_t size = 0;
    bool plugged = true;
    std::unique_ptr<ExplicitMasks> masks;  // null: both masks default
  };

  Function *Find(FunctionIndex fn);
  const Function *Find(FunctionIndex fn) const;
  void MasksOf(const Function &f, uint8_t *writable, uint8_t *w1c) const;

  uint32_t domain_;
  // Room for the two masks and the present bytes of one write or reset, kept here rather than on the stack
  // (12 KiB is too much for a kernel stack). Requests reach a machine one at a time.
  std::unique_ptr<uint8_t[]> scratch_;
  std::deque<std::pair<FunctionIndex, RegisterWrite>> writes_;
  std::vector<int32_t> index_;  // kFunctionCount entries: a position in functions_, or -1
  std::vector<Function> functions_;
  std::vector<uint32_t> other_domains_;
};

}  // namespace kvsys
