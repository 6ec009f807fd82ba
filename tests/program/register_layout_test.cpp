// The register view's rows for each header layout: labels, value formats, dump rows, row counts, widths.
#include <gtest/gtest.h>

#include "testable_dialog.h"

namespace {

using Labels = std::vector<std::string>;

const Labels kCommon = {"Vendor ID",       "Device ID",     "Command",     "Status", "Revision ID", "Class Code",
                        "Cache Line Size", "Latency Timer", "Header Type", "BIST"};

Labels Concat(const Labels &a, const Labels &b) {
  Labels all = a;
  all.insert(all.end(), b.begin(), b.end());
  return all;
}

Labels DumpLabels(int from, int to) {
  Labels labels;
  char text[40];
  for (int offset = from; offset < to; offset += 16) {
    snprintf(text, sizeof text, "Device Specific [%X]", offset);
    labels.push_back(text);
  }
  return labels;
}

struct Shown {
  Labels labels;
  std::map<std::string, std::string> values;  // by label; the first row of a label wins
  size_t rows = 0;
};

Shown Show(TestableDlg &dlg, const TestImage &image, const BYTE *ext) {
  dlg.BuildRegisterRows(image.bytes[0x0E] & 0x7F);
  dlg.FillRegisterValues(image.bytes, ext);
  Shown shown;
  for (const auto &[label, value] : dlg.RegisterRows()) {
    shown.labels.push_back(label);
    shown.values.emplace(label, value);
  }
  shown.rows = shown.labels.size();
  return shown;
}

TEST(RegisterLayouts, RowsOfEachHeaderType) {
  // Each label of each layout, in order, is compared with lspci's account of real functions of every layout
  // in tests/e2e/lspci_agreement_test.cpp; here the layout chosen, its row counts and where the dump starts.
  struct Case {
    int headerType;
    const char *firstLayoutRow;
    size_t rows, rowsWithExtended;
  };
  const Case cases[] = {
      {0x00, "BAR2", 39, 279},
      {0x80, "BAR2", 39, 279},  // the multi-function bit does not choose the layout
      {0x01, "Primary Bus", 45, 285},
      {0x81, "Primary Bus", 45, 285},
      {0x02, "Reserved", 41, 281},  // after the socket base and the capabilities pointer
  };
  static BYTE ext[3840];
  TestableDlg dlg;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.headerType);
    TestImage image;
    image.Set(0x0E, {c.headerType});
    Shown shown = Show(dlg, image, nullptr);
    ASSERT_EQ(shown.rows, c.rows);
    EXPECT_EQ(Labels(shown.labels.begin(), shown.labels.begin() + 10), kCommon);
    EXPECT_EQ(shown.labels[12], c.firstLayoutRow);
    EXPECT_EQ(Labels(shown.labels.end() - 12, shown.labels.end()), DumpLabels(0x40, 0x100));
    char headerType[3];
    snprintf(headerType, sizeof headerType, "%02X", c.headerType);
    EXPECT_EQ(shown.values["Header Type"], headerType);

    Shown extended = Show(dlg, image, ext);
    EXPECT_EQ(extended.rows, c.rowsWithExtended);
    EXPECT_EQ(extended.labels.back(), "Device Specific [FF0]");
  }
}

TEST(RegisterLayouts, UndefinedHeaderTypeShowsTheCommonRowsAndDumpsTheRest) {
  TestableDlg dlg;
  TestImage image;
  image.Set(0x0E, {0x05}).Set(0x10, {0xAA, 0xBB, 0xCC, 0xDD});
  Shown shown = Show(dlg, image, nullptr);
  EXPECT_EQ(shown.labels, Concat(kCommon, DumpLabels(0x10, 0x100)));
  EXPECT_EQ(shown.values["Header Type"], "05");
  EXPECT_EQ(shown.values["Device Specific [10]"], "AABBCCDD 00000000 00000000 00000000");
}

TEST(RegisterLayouts, ValueFormats) {
  struct Case {
    int headerType;
    int offset;
    std::initializer_list<int> bytes;
    const char *label;
    const char *value;
  };
  const Case cases[] = {
      {0x00, 0x00, {0x86, 0x80}, "Vendor ID", "8086"},
      {0x00, 0x10, {0x78, 0x56, 0x34, 0x12}, "BAR0", "12345678"},
      {0x00, 0x35, {0x11, 0x22, 0x33}, "Reserved1", "112233"},
      {0x01, 0x35, {0x11, 0x22, 0x33}, "Reserved", "112233"},
      {0x01, 0x1E, {0x00, 0x22}, "Secondary Status", "2200"},
      {0x02, 0x15, {0x11, 0x22, 0x33}, "Reserved", "11"},
      {0x02, 0x38, {0xFF, 0xEF, 0xFF, 0xFF}, "Limit4", "FFFFEFFF"},
      {0x00, 0x40, {0x01, 0x00, 0x00, 0x00}, "Device Specific [40]", "01000000 00000000 00000000 00000000"},
      {0x00, 0xF0, {0x78, 0x56, 0x34, 0x12, 0xAB}, "Device Specific [F0]", "78563412 AB000000 00000000 00000000"},
  };
  TestableDlg dlg;
  for (const Case &c : cases) {
    TestImage image;
    image.Set(0x0E, {c.headerType}).Set(c.offset, c.bytes);
    EXPECT_EQ(Show(dlg, image, nullptr).values[c.label], c.value) << c.label << " of header type " << c.headerType;
  }
}

TEST(RegisterLayouts, ExtendedRowsTakeTheirBytesFromTheExtendedImage) {
  static BYTE ext[3840];
  ext[0] = 0x10;
  ext[1] = 0x00;
  ext[2] = 0x01;
  ext[3] = 0x00;
  ext[3839] = 0xEE;
  TestableDlg dlg;
  Shown shown = Show(dlg, TestImage{}, ext);
  EXPECT_EQ(shown.values["Device Specific [100]"], "10000100 00000000 00000000 00000000");
  EXPECT_EQ(shown.values["Device Specific [FF0]"], "00000000 00000000 00000000 000000EE");
}

TEST(RegisterLayouts, ClearedViewAndColumnWidths) {
  TestableDlg dlg;
  TestImage image;
  Show(dlg, image, nullptr);
  // Fitted to the labels before any dump row existed: "Cardbus CIS pointer"-long labels, the rest for values.
  std::vector<int> widths = dlg.RegisterColumnWidths();
  EXPECT_EQ(widths[0], 20 * 6 + 12) << "\"Capabilities Pointer\" is the longest label of the layout";

  dlg.BuildRegisterRows(-1);
  EXPECT_TRUE(dlg.RegisterRows().empty());
  widths = dlg.RegisterColumnWidths();
  EXPECT_EQ(widths[0], 8 * 6 + 11) << "an empty view fits the heading \"Register\"";
  EXPECT_EQ(widths[0] + widths[1], 373 - 2) << "the value column fills the rest of the list";
}

}  // namespace
