// What the q35 guest's steps collected (run_guest.sh, the CTest fixture vm.guest), read by the checks of
// each scenario: lspci's accounts taken in the guest, kelvorant's dump lines, the kernel log and QEMU's trace
// of configuration writes.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "lspci_view.h"

namespace kvvm {

// The folder run_guest.sh filled (its results/ holds one folder per step).
std::filesystem::path GuestDir();
// Why the guest did not run (QEMU or the kernel package cannot be had here), or "" when it ran.
std::string SkipReason();

// Skips the test when the guest could not run here, and fails it when the guest left no results.
#define KV_REQUIRE_GUEST()                                                                  \
  do {                                                                                      \
    if (const std::string why = kvvm::SkipReason(); !why.empty()) GTEST_SKIP() << why;      \
    ASSERT_TRUE(std::filesystem::exists(kvvm::GuestDir() / "results" / "steps.txt"))        \
        << "the guest left no results in " << kvvm::GuestDir() << ": see the test vm.guest"; \
  } while (0)

// A file a step wrote, as text.
std::string StepFile(const std::string &step, const std::string &name);

// A capture of `lspci -D -nvv -xxxx` taken by a step.
std::vector<kvtest::LspciFunction> Capture(const std::string &step, const std::string &name);
// The function at "DDDD:BB:DD.F" in a capture, or nullptr.
const kvtest::LspciFunction *Find(const std::vector<kvtest::LspciFunction> &capture, const std::string &address);
// "DDDD:BB:DD.F" of a function.
std::string Address(const kvtest::LspciFunction &f);
// The function's bytes as lspci printed them (-1 where it printed nothing) up to its last printed byte.
std::vector<int> Printed(const kvtest::LspciFunction &f);

// The JSON lines of a dump file.
std::vector<nlohmann::ordered_json> JsonLines(const std::string &step, const std::string &name);

// Kernel log lines of `dmesg -r` in `after` that `before` does not hold, and those of them at error level
// or worse.
std::vector<std::string> NewKernelLines(const std::string &before, const std::string &after);
std::vector<std::string> Errors(const std::vector<std::string> &kernelLines);

// Offsets of the capabilities with an ID in a function's bytes: the classic list from 0x34, the extended
// list from 0x100. None when the list is not in the bytes.
int FindCapability(const kvtest::LspciFunction &f, int id);
int FindExtCapability(const kvtest::LspciFunction &f, int id);
std::vector<int> ExtCapabilityIds(const kvtest::LspciFunction &f);

}  // namespace kvvm
