// The Machine values that name each kind of machine, the four requests against every kind of simulated
// machine, fault rules, how a request ends and the line the trace holds for it. The HAL machine is tested on
// its own bus (hal_machine_test.cpp), and the whole driver, sysfs included, as the kernel loads it
// (module_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "core/device_control.h"
#include "core/machine_choice.h"
#include "driver_test_util.h"

namespace {

using namespace kvsys;
using kvtest::DataOf;
using kvtest::MakeRequest;
using kvtest::StatusOf;

struct Sent {
  RequestOutcome outcome;
  std::vector<uint8_t> request;
};

Sent Send(OpenedMachine &m, uint32_t code, uint32_t bus, uint32_t device, uint32_t function,
          const uint8_t *data = nullptr) {
  Sent s{{}, MakeRequest(code, bus, device, function)};
  if (data) std::memcpy(DataOf(s.request), data, s.request.size() - 16);
  s.outcome = HandleDeviceControl(*m.machine, m.faults, m.domain, code, s.request.data(),
                                  static_cast<uint32_t>(s.request.size()), static_cast<uint32_t>(s.request.size()));
  return s;
}

// The machine that a Machine value names; a computer without PCI buses behind the HAL.
OpenedMachine Open(const std::string &value) {
  static const HalBus kNoBuses = {[](void *, uint32_t, uint32_t, void *, uint32_t, uint32_t) { return 0u; },
                                  [](void *, uint32_t, uint32_t, const void *, uint32_t, uint32_t) { return 0u; },
                                  nullptr};
  OpenedMachine m;
  MachineChoice choice;
  kvtest::TestFiles files(kvtest::LocalFile);
  std::string why;
  EXPECT_TRUE(ParseMachineValue(value, &choice, &why)) << value << ": " << why;
  EXPECT_TRUE(OpenMachine(choice, kNoBuses, {}, files, &m, &why, [](const std::string &) {})) << value << ": " << why;
  return m;
}

TEST(MachineChoice, ValuesNameAMachineFileADumpOrADomain) {
  struct Case {
    const char *text;
    MachineKind kind;
    const char *path;
    uint32_t domain;
  } cases[] = {
      {"demo@0001", MachineKind::kDemo, "", 1},
      {"/m/machine.json", MachineKind::kJson, "/m/machine.json", 0},
      {"C:\\dumps\\M.JSON@0002", MachineKind::kJson, "C:\\dumps\\M.JSON", 2},
      {"/m/dump.txt@10000", MachineKind::kDump, "/m/dump.txt", 0x10000},
      {"/m/dump@mine.txt", MachineKind::kDump, "/m/dump@mine.txt", 0},  // '@' without a domain is the name's
      {"/m/x@12", MachineKind::kDump, "/m/x@12", 0},
      {"./hal", MachineKind::kDump, "./hal", 0},
      {"demonstration", MachineKind::kDump, "demonstration", 0},
  };
  for (const auto &c : cases) {
    MachineChoice choice;
    std::string why;
    ASSERT_TRUE(ParseMachineValue(c.text, &choice, &why)) << c.text << ": " << why;
    EXPECT_EQ(choice.kind, c.kind) << c.text;
    EXPECT_EQ(choice.path, c.path) << c.text;
    EXPECT_EQ(choice.domain, c.domain) << c.text;
  }
  MachineChoice choice;
  std::string why;
  EXPECT_FALSE(ParseMachineValue("hal@0001", &choice, &why));
  EXPECT_EQ(why, "the HAL reaches PCI domain 0000 only, not 0001");
  EXPECT_FALSE(ParseMachineValue("@0001", &choice, &why));
}

TEST(DeviceControl, EveryMachineKindAnswersTheFourRequests) {
  const std::string data = KV_TEST_DATA_DIR;
  struct Case {
    std::string value;
    uint32_t bus, device, function;
    uint32_t read_status;
    uint16_t vendor;
    uint32_t ext_status;
    uint8_t ext_first;  // configuration byte 0x100
  } cases[] = {
      {"demo", 0x00, 0x1f, 3, 1, 0x8086, 0, 0xff},  // a 256-byte image: extended space reads 0xFF
      {"demo", 0x00, 0x1c, 0, 1, 0x8086, 0, 0x02},  // a 4096-byte image: its first extended capability
      {"demo", 0x00, 0x03, 0, 0, 0xffff, 2, 0xff},  // nothing there
      {"demo@0001", 0x00, 0x1f, 3, 0, 0xffff, 2, 0xff},
      {data + "/lspci/cap-pcie-1.txt", 0x00, 0x01, 0, 1, 0x8086, 0, 0x01},
      {data + "/lspci/PCI-X-bridges-and-domains.txt@0002", 0x42, 0x03, 0, 1, 0x1023, 0, 0xff},
      {data + "/lspci/PCI-X-bridges-and-domains.txt", 0x42, 0x03, 0, 0, 0xffff, 2, 0xff},
      {data + "/machines/fujitsu-faults.json", 0x00, 0x1d, 7, 1, 0x8086, 0, 0xff},
      {"hal", 0x00, 0x00, 0, 0, 0xffff, 2, 0xff},  // no bus at all
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.value + " " + FormatAddress({0, c.bus, c.device, c.function}));
    OpenedMachine m = Open(c.value);
    ASSERT_TRUE(m.machine);
    const Sent read = Send(m, IOCTL_READ_CONFIG, c.bus, c.device, c.function);
    EXPECT_EQ(read.outcome.completion, Completion::kDone);
    EXPECT_EQ(read.outcome.information, 272u);
    EXPECT_EQ(StatusOf(read.request), c.read_status);
    EXPECT_EQ(DataOf(read.request)[0] | DataOf(read.request)[1] << 8, c.vendor);
    const uint32_t echoed[3] = {c.bus, c.device, c.function};
    EXPECT_EQ(std::memcmp(read.request.data(), echoed, 12), 0);

    const Sent ext = Send(m, IOCTL_READ_EXT_CONFIG, c.bus, c.device, c.function);
    EXPECT_EQ(ext.outcome.information, 3856u);
    EXPECT_EQ(StatusOf(ext.request), c.ext_status);
    EXPECT_EQ(DataOf(ext.request)[0], c.ext_first);

    // Writing back what was read: done where something answers.
    EXPECT_EQ(StatusOf(Send(m, IOCTL_WRITE_CONFIG, c.bus, c.device, c.function, DataOf(read.request)).request),
              c.read_status);
    EXPECT_EQ(StatusOf(Send(m, IOCTL_WRITE_EXT_CONFIG, c.bus, c.device, c.function, DataOf(ext.request)).request),
              c.ext_status);
    EXPECT_EQ(Send(m, IOCTL_READ_CONFIG, c.bus, c.device, c.function).request, read.request);
  }
}

TEST(DeviceControl, UnknownCodesAndWrongBuffersEndTheRequest) {
  OpenedMachine m = Open("demo");
  std::vector<uint8_t> buffer(3856, 0);
  // The Win32 error of the call: ERROR_INVALID_PARAMETER, ERROR_INVALID_FUNCTION.
  struct Case { uint32_t code, input, output; Completion completion; uint32_t error; } cases[] = {
      {IOCTL_READ_CONFIG, 272, 272, Completion::kDone, 0},
      {IOCTL_READ_CONFIG, 271, 272, Completion::kBadBuffer, 87},
      {IOCTL_WRITE_CONFIG, 272, 0, Completion::kBadBuffer, 87},
      {IOCTL_READ_EXT_CONFIG, 3856, 3856, Completion::kDone, 0},
      {IOCTL_WRITE_EXT_CONFIG, 272, 272, Completion::kBadBuffer, 87},
      {IOCTL_KELVORANT_TEST_PORT, 4, 512, Completion::kUnknownRequest, 1},  // the kernel glue's, not a request
      {0x222000, 272, 272, Completion::kUnknownRequest, 1},
  };
  for (const Case &c : cases) {
    const RequestOutcome outcome = HandleDeviceControl(*m.machine, m.faults, 0, c.code, buffer.data(), c.input, c.output);
    EXPECT_EQ(outcome.completion, c.completion) << std::hex << c.code;
    EXPECT_EQ(outcome.error, c.error) << std::hex << c.code;
    EXPECT_EQ(outcome.information, c.completion == Completion::kDone ? c.input : 0u) << std::hex << c.code;
  }
  EXPECT_EQ(HandleDeviceControl(*m.machine, m.faults, 0, IOCTL_READ_CONFIG, nullptr, 272, 272).completion,
            Completion::kBadBuffer);
}

TEST(DeviceControl, ImpossibleAddressesAnswerAsEmptySlots) {
  OpenedMachine m = Open("demo");
  const uint32_t impossible[][3] = {{256, 0, 0}, {0, 32, 0}, {0, 0, 8}};
  for (const auto &address : impossible) {
    const Sent read = Send(m, IOCTL_READ_CONFIG, address[0], address[1], address[2]);
    EXPECT_EQ(StatusOf(read.request), 0u);
    EXPECT_EQ(DataOf(read.request)[0], 0xff);
    EXPECT_EQ(StatusOf(Send(m, IOCTL_READ_EXT_CONFIG, address[0], address[1], address[2]).request), 2u);
  }
}

TEST(DeviceControl, FaultRules) {
  OpenedMachine m = Open(std::string(KV_TEST_DATA_DIR) + "/machines/fujitsu-faults.json");
  // What each request ended with: the status word and byte count, or (completion kFailed) the error.
  struct Step { uint32_t code, bus, device, function; Completion completion; uint32_t status_or_error, information; } steps[] = {
      {IOCTL_READ_CONFIG, 0x00, 0x1f, 3, Completion::kDone, 1, 272},
      {IOCTL_READ_CONFIG, 0x00, 0x1f, 3, Completion::kDone, 2, 272},
      {IOCTL_READ_CONFIG, 0x00, 0x1f, 3, Completion::kDone, 2, 272},
      {IOCTL_READ_CONFIG, 0x00, 0x1f, 3, Completion::kDone, 1, 272},
      {IOCTL_WRITE_CONFIG, 0x00, 0x1f, 3, Completion::kDone, 1, 272},
      {IOCTL_READ_CONFIG, 0x00, 0x03, 0, Completion::kDone, 1, 272},
      {IOCTL_READ_EXT_CONFIG, 0x00, 0x1c, 0, Completion::kFailed, 31, 0},
      {IOCTL_READ_EXT_CONFIG, 0x00, 0x1c, 0, Completion::kFailed, 31, 0},
      {IOCTL_READ_CONFIG, 0x00, 0x1c, 0, Completion::kDone, 1, 272},
      {IOCTL_WRITE_CONFIG, 0x00, 0x1a, 0, Completion::kDone, 1, 268},
      {IOCTL_WRITE_EXT_CONFIG, 0x00, 0x1a, 1, Completion::kDone, 7, 100},
      {IOCTL_WRITE_EXT_CONFIG, 0x00, 0x1a, 1, Completion::kDone, 0, 3856},
  };
  for (const Step &s : steps) {
    SCOPED_TRACE(FindRequestByCode(s.code)->name + (" " + FormatAddress({0, s.bus, s.device, s.function})));
    const Sent sent = Send(m, s.code, s.bus, s.device, s.function);
    EXPECT_EQ(sent.outcome.completion, s.completion);
    if (s.completion == Completion::kFailed) {
      EXPECT_EQ(sent.outcome.error, s.status_or_error);
      continue;
    }
    EXPECT_EQ(sent.outcome.status, s.status_or_error);
    EXPECT_EQ(StatusOf(sent.request), s.status_or_error);
    EXPECT_EQ(sent.outcome.information, s.information);
  }
  // A status rule on an absent function still answers 0xFF; the file's own function is there.
  EXPECT_EQ(DataOf(Send(m, IOCTL_READ_CONFIG, 0, 3, 0).request)[0], 0xff);
  EXPECT_EQ(DataOf(Send(m, IOCTL_READ_CONFIG, 2, 0, 0).request)[2], 0x2e);
}

// The trace line of a request, from the input it was sent with and how it ended; the line's shape is what
// scripts read, and the longest one fits the driver's buffer.
TEST(DeviceControl, TraceLines) {
  const uint32_t words[3] = {0x12c, 3, 4};
  const RequestOutcome failed{Completion::kFailed, 0, 0, 31};
  const uint32_t all[3] = {0xffffffff, 0xffffffff, 0xffffffff};
  struct Case {
    uint32_t code;
    const uint32_t *input;
    uint32_t length, domain;
    RequestOutcome outcome;
    const char *line;
  } cases[] = {
      {IOCTL_READ_CONFIG, words, 12, 0, {Completion::kDone, 272, 1}, "IOCTL_READ_CONFIG 12c:03.4 status=1 returned=272\n"},
      {IOCTL_READ_EXT_CONFIG, words, 3856, 0x10000, failed, "IOCTL_READ_EXT_CONFIG 10000:12c:03.4 error=31\n"},
      {IOCTL_WRITE_CONFIG, words, 11, 1, failed, "IOCTL_WRITE_CONFIG - error=31\n"},
      {0x222000, nullptr, 272, 0, failed, "0x00222000 - error=31\n"},
      {IOCTL_WRITE_EXT_CONFIG, all, 12, 0xffffffff, {Completion::kDone, UINTPTR_MAX, 0xffffffff},
       "IOCTL_WRITE_EXT_CONFIG ffffffff:ffffffff:ffffffff.ffffffff status=4294967295 returned=18446744073709551615\n"},
  };
  for (const Case &c : cases) {
    char line[kTraceLineBytes];
    const size_t length = FormatTraceLine(line, c.code, AddressOfInput(c.input, c.length), c.domain, c.outcome);
    EXPECT_EQ(std::string(line, length), c.line);
  }
}

}  // namespace
