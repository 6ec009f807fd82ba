// The simulated machine: per function a configuration image of 0 to 4096 bytes (as captured or given; bytes
// beyond it read as 0xFF and drop writes, as on the bus), optional explicit masks, and a plugged state.
// Lookup is one index into a 65,536-entry table. A write puts an image back as hardware gets it, through the
// restore plan (core/restore_plan.h) a register at a time, and the registers written are kept for the test
// port to tell.
//
// The test port (Control) changes a function behind the driver's back, the way a device loses its settings
// or drops off the bus. An address may carry the machine's domain ("0001:02:00.0").
//   reset BB:DD.F                  every writable and write-one-to-clear bit becomes 0
//   poke BB:DD.F OFFSET XX XX ...  the hardware sets bytes from OFFSET (hex) on, whatever the masks, within
//                                  the image
//   unplug BB:DD.F / plug BB:DD.F  the function stops / starts answering
//   writes BB:DD.F                 answers the registers that writes to the function wrote since this was
//                                  last asked (of the machine's last 4096), in order, as OFFSET/WIDTH in hex
//                                  ("3c/4 10/4 4/2"), or "none"
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <utility>
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
  std::vector<uint32_t> other_domains() const;
  void NoteOtherDomain(uint32_t domain);

  // Explicit masks: the given bytes cover offsets 0 to size-1 and every byte past them is 0. A mask not given
  // is computed from the image (core/default_masks.h).
  struct ExplicitMasks {
    std::optional<std::vector<uint8_t>> writable, w1c;
  };
  // Adds a function or replaces the one at the same address (a replaced function is plugged). The image is
  // cut at 4096 bytes.
  void Put(FunctionIndex fn, std::span<const uint8_t> image, ExplicitMasks masks = {});

  bool Has(FunctionIndex fn) const { return index_[fn] >= 0; }
  // The image, or an empty span for an absent function (plugged or not).
  std::span<const uint8_t> Image(FunctionIndex fn) const {
    const Function *f = Find(fn);
    return f ? std::span<const uint8_t>(f->image.get(), f->size) : std::span<const uint8_t>();
  }
  // The masks in force for a present function, as many bytes of each as its image has.
  void MasksOf(FunctionIndex fn, uint8_t *writable, uint8_t *w1c) const;

  Access Read(FunctionIndex fn, unsigned offset, unsigned length, uint8_t *out) override;
  Access Write(FunctionIndex fn, unsigned offset, unsigned length, const uint8_t *data) override;
  bool Control(std::string_view command, std::string *text) override;

 private:
  struct Function {
    std::unique_ptr<uint8_t[]> image;
    uint16_t size = 0;
    bool plugged = true;
    std::unique_ptr<ExplicitMasks> masks;  // null: both masks computed
  };

  const Function *Find(FunctionIndex fn) const;
  Function *Find(FunctionIndex fn) { return const_cast<Function *>(std::as_const(*this).Find(fn)); }

  uint32_t domain_;
  // Room for the two masks and the present bytes of one write or reset, kept here rather than on the stack
  // (12 KiB is too much for a kernel stack). Requests reach a machine one at a time.
  std::unique_ptr<uint8_t[]> scratch_;
  std::deque<std::pair<FunctionIndex, RegisterWrite>> writes_;
  std::vector<int32_t> index_;  // kFunctionCount entries: a position in functions_, or -1
  std::vector<Function> functions_;
  std::vector<bool> other_domains_;  // by domain (a dump may name each of its million), grown as noted
};

}  // namespace kvsys
