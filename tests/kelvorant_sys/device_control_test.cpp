// The four requests against every kind of machine, buffer checks, fault rules and trace lines.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "core/device_control.h"
#include "core/dump_reader.h"
#include "core/sim_loaders.h"
#include "driver_test_util.h"
#include "linux/machine_backends.h"

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

OpenedMachine Open(const std::string &source) {
  OpenedMachine m;
  std::string why;
  EXPECT_TRUE(OpenMachine(ParseMachineSource(source), &m, &why)) << source << ": " << why;
  return m;
}

// A folder laid out like /sys/bus/pci/devices with two functions taken from the demo capture.
std::string FakeSysfs(const kvtest::TempDir &dir) {
  const DumpParse demo = ParseDump(kvtest::Capture("tree-fujitsu-p8010.txt"));
  for (const auto &f : demo.functions) {
    const std::string name = FormatAddress(f.address);
    if (name == "00:1f.3" || name == "00:1c.0")
      dir.Write("devices/0000:" + name + "/config", std::string(f.image.begin(), f.image.end()));
  }
  return "sysfs:" + dir.path() + "/devices";
}

TEST(DeviceControl, EveryMachineKindAnswersTheFourRequests) {
  kvtest::TempDir dir;
  const std::string data = KV_TEST_DATA_DIR;
  struct Case {
    std::string source;
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
      {FakeSysfs(dir), 0x00, 0x1f, 3, 1, 0x8086, 0, 0xff},
      {FakeSysfs(dir), 0x00, 0x1c, 0, 1, 0x8086, 0, 0x02},
      {FakeSysfs(dir), 0x00, 0x1f, 2, 0, 0xffff, 2, 0xff},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.source + " " + FormatBdf(0, c.bus, c.device, c.function));
    OpenedMachine m = Open(c.source);
    ASSERT_TRUE(m.machine);
    const Sent read = Send(m, IOCTL_READ_CONFIG, c.bus, c.device, c.function);
    EXPECT_EQ(read.outcome.result, STATUS_SUCCESS);
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

// Buffer sizes and control codes are checked through the module (module_test.cpp).
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
  struct Step { uint32_t code, bus, device, function; std::string trace; } steps[] = {
      {IOCTL_READ_CONFIG, 0x00, 0x1f, 3, "IOCTL_READ_CONFIG 00:1f.3 status=1 returned=272"},
      {IOCTL_READ_CONFIG, 0x00, 0x1f, 3, "IOCTL_READ_CONFIG 00:1f.3 status=2 returned=272"},
      {IOCTL_READ_CONFIG, 0x00, 0x1f, 3, "IOCTL_READ_CONFIG 00:1f.3 status=2 returned=272"},
      {IOCTL_READ_CONFIG, 0x00, 0x1f, 3, "IOCTL_READ_CONFIG 00:1f.3 status=1 returned=272"},
      {IOCTL_WRITE_CONFIG, 0x00, 0x1f, 3, "IOCTL_WRITE_CONFIG 00:1f.3 status=1 returned=272"},
      {IOCTL_READ_CONFIG, 0x00, 0x03, 0, "IOCTL_READ_CONFIG 00:03.0 status=1 returned=272"},
      {IOCTL_READ_EXT_CONFIG, 0x00, 0x1c, 0, "IOCTL_READ_EXT_CONFIG 00:1c.0 error=31"},
      {IOCTL_READ_EXT_CONFIG, 0x00, 0x1c, 0, "IOCTL_READ_EXT_CONFIG 00:1c.0 error=31"},
      {IOCTL_READ_CONFIG, 0x00, 0x1c, 0, "IOCTL_READ_CONFIG 00:1c.0 status=1 returned=272"},
      {IOCTL_WRITE_CONFIG, 0x00, 0x1a, 0, "IOCTL_WRITE_CONFIG 00:1a.0 status=1 returned=268"},
      {IOCTL_WRITE_EXT_CONFIG, 0x00, 0x1a, 1, "IOCTL_WRITE_EXT_CONFIG 00:1a.1 status=7 returned=100"},
      {IOCTL_WRITE_EXT_CONFIG, 0x00, 0x1a, 1, "IOCTL_WRITE_EXT_CONFIG 00:1a.1 status=0 returned=3856"},
  };
  for (const Step &s : steps) {
    const Sent sent = Send(m, s.code, s.bus, s.device, s.function);
    EXPECT_EQ(FormatTraceLine(sent.outcome, 0), s.trace);
    if (NT_SUCCESS(sent.outcome.result)) {
      EXPECT_EQ(StatusOf(sent.request), sent.outcome.status);
    }
  }
  // A status rule on an absent function still answers 0xFF; the file's own function is there.
  EXPECT_EQ(DataOf(Send(m, IOCTL_READ_CONFIG, 0, 3, 0).request)[0], 0xff);
  EXPECT_EQ(DataOf(Send(m, IOCTL_READ_CONFIG, 2, 0, 0).request)[2], 0x2e);
}

TEST(DeviceControl, TraceLines) {
  RequestOutcome ok;
  ok.request = FindRequestByCode(IOCTL_READ_EXT_CONFIG);
  ok.has_address = true;
  ok.bus = 0x1c, ok.device = 3, ok.function = 4, ok.information = 3856;
  RequestOutcome failed = ok;
  failed.result = STATUS_INVALID_PARAMETER;
  RequestOutcome unknown;
  unknown.code = 0x222408;
  unknown.result = STATUS_INVALID_DEVICE_REQUEST;
  RequestOutcome odd = ok;
  odd.bus = 300;
  struct Case { RequestOutcome outcome; uint32_t domain; const char *line; } cases[] = {
      {ok, 0, "IOCTL_READ_EXT_CONFIG 1c:03.4 status=0 returned=3856"},
      {ok, 0x12, "IOCTL_READ_EXT_CONFIG 0012:1c:03.4 status=0 returned=3856"},
      {failed, 0, "IOCTL_READ_EXT_CONFIG 1c:03.4 error=87"},
      {unknown, 0, "0x00222408 - error=1"},
      {odd, 0, "IOCTL_READ_EXT_CONFIG 12c:03.4 status=0 returned=3856"},
  };
  for (const Case &c : cases) EXPECT_EQ(FormatTraceLine(c.outcome, c.domain), c.line);
}

}  // namespace
