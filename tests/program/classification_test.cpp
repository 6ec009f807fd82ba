// Class descriptions and the capability walk that tells PCI-X and PCI Express functions.
#include <gtest/gtest.h>

#include "testable_dialog.h"

namespace {

// The ends of the table, a sub-class that has its own name and one that falls back on its base class; the
// device list end-to-end test shows a dozen more.
TEST(Classification, ClassDescriptions) {
  struct Case {
    DWORD classCode;
    const char *description;
  };
  const Case cases[] = {
      {0x000000, "Unknown"},
      {0x010000, "SCSI bus controller"},
      {0x010185, "IDE controller"},  // the programming interface does not matter
      {0x010800, "Mass storage controller"},
      {0x018000, "Mass storage controller"},
      {0x0C0330, "Serial bus controller"},
      {0x118000, "Data acquisition and signal processing controller"},
      {0x120000, "Unknown"},
      {0xFFFFFF, "Unknown"},
  };
  TestableDlg dlg;
  for (const Case &c : cases) {
    char text[64];
    memset(text, 'x', sizeof text);
    dlg.GetClassDescription(c.classCode, text);
    EXPECT_STREQ(text, c.description) << std::hex << c.classCode;
  }
}

// An image with the Capabilities List status bit, a header type and a capability chain
// {position, id, next} laid out as given.
TestImage WithChain(int headerType, int pointer, std::initializer_list<std::array<int, 3>> chain) {
  TestImage image;
  image.Set(0x06, {0x10}).Set(0x0E, {headerType});
  image.Set((headerType & 3) == 2 ? 0x14 : 0x34, {pointer});
  for (const auto &entry : chain) image.Set(entry[0], {entry[1], entry[2]});
  return image;
}

TEST(Classification, InterfaceKind) {
  struct Case {
    const char *name;
    TestImage image;
    DWORD expected;
  };
  TestImage noCapabilities = WithChain(0x00, 0x40, {{0x40, 0x10, 0x00}});
  noCapabilities.bytes[0x06] = 0x00;
  const Case cases[] = {
      {"status bit clear hides a valid chain", noCapabilities, 0},
      {"PCI Express at the pointer", WithChain(0x00, 0x40, {{0x40, 0x10, 0x00}}), 2},
      {"PCI-X at the pointer", WithChain(0x00, 0x40, {{0x40, 0x07, 0x00}}), 1},
      {"power management, MSI, PCI Express", WithChain(0x00, 0x50, {{0x50, 0x01, 0x60}, {0x60, 0x05, 0x70}, {0x70, 0x10, 0x00}}), 2},
      {"PCI-X before PCI Express", WithChain(0x00, 0x40, {{0x40, 0x07, 0x48}, {0x48, 0x10, 0x00}}), 1},
      {"PCI Express before PCI-X", WithChain(0x00, 0x40, {{0x40, 0x10, 0x48}, {0x48, 0x07, 0x00}}), 2},
      {"chain of neither ID ends with 0", WithChain(0x00, 0x40, {{0x40, 0x01, 0x50}, {0x50, 0x05, 0x00}}), 0},
      {"pointer 0", WithChain(0x00, 0x00, {{0x40, 0x10, 0x00}}), 0},
      {"pointer low bits are dropped", WithChain(0x00, 0x43, {{0x40, 0x10, 0x00}}), 2},
      {"next pointer low bits are dropped", WithChain(0x00, 0x40, {{0x40, 0x01, 0x51}, {0x50, 0x10, 0x00}}), 2},
      {"bridge layout reads 34h", WithChain(0x01, 0x40, {{0x40, 0x10, 0x00}}), 2},
      {"multi-function bridge reads 34h", WithChain(0x81, 0x40, {{0x40, 0x10, 0x00}}), 2},
      {"multi-function device reads 34h", WithChain(0x80, 0x40, {{0x40, 0x07, 0x00}}), 1},
      {"CardBus layout reads 14h", WithChain(0x02, 0x80, {{0x80, 0x10, 0x00}}), 2},
      {"layout 3 has no capabilities", WithChain(0x03, 0x40, {{0x40, 0x10, 0x00}}), 0},
      {"a chain that loops ends with 0", WithChain(0x00, 0x40, {{0x40, 0x01, 0x50}, {0x50, 0x05, 0x40}}), 0},
      {"an entry pointing at itself ends with 0", WithChain(0x00, 0x40, {{0x40, 0x09, 0x40}}), 0},
      {"the last dword position is inside the image", WithChain(0x00, 0xFC, {{0xFC, 0x10, 0x00}}), 2},
  };
  TestableDlg dlg;
  for (const Case &c : cases) EXPECT_EQ(dlg.GetInterfaceKind(c.image.bytes), c.expected) << c.name;
}

}  // namespace
