// The register list: one row per header register of the function's header layout, then the rest of
// configuration space (and for PCI Express, extended space) as rows of 16 bytes.
#include "ui/KelvorantDlg.h"

#include <stdio.h>

namespace {

enum ValueFormat {
  BYTE_VALUE,   // "%02X"
  WORD_VALUE,   // "%04X", little-endian
  CLASS_VALUE,  // "%06X" of the 24-bit little-endian class code at 09h
  DWORD_VALUE,  // "%08X", little-endian
  BYTES3_VALUE  // three bytes in address order, "%02X%02X%02X"
};

struct RegisterRow {
  const char *label;
  int offset;
  ValueFormat format;
};

// Rows 0 to 9: the part of the header that every layout shares.
const RegisterRow kCommonRows[] = {
    {"Vendor ID", 0x00, WORD_VALUE},      {"Device ID", 0x02, WORD_VALUE},
    {"Command", 0x04, WORD_VALUE},        {"Status", 0x06, WORD_VALUE},
    {"Revision ID", 0x08, BYTE_VALUE},    {"Class Code", 0x09, CLASS_VALUE},
    {"Cache Line Size", 0x0C, BYTE_VALUE}, {"Latency Timer", 0x0D, BYTE_VALUE},
    {"Header Type", 0x0E, BYTE_VALUE},    {"BIST", 0x0F, BYTE_VALUE},
};

// Header layout 0: a general device.
const RegisterRow kDeviceRows[] = {
    {"BAR0", 0x10, DWORD_VALUE},
    {"BAR1", 0x14, DWORD_VALUE},
    {"BAR2", 0x18, DWORD_VALUE},
    {"BAR3", 0x1C, DWORD_VALUE},
    {"BAR4", 0x20, DWORD_VALUE},
    {"BAR5", 0x24, DWORD_VALUE},
    {"Cardbus CIS pointer", 0x28, DWORD_VALUE},
    {"Subsystem Vendor ID", 0x2C, WORD_VALUE},
    {"Subsystem ID", 0x2E, WORD_VALUE},
    {"Expansion ROM Base", 0x30, DWORD_VALUE},
    {"Capabilities Pointer", 0x34, BYTE_VALUE},
    {"Reserved1", 0x35, BYTES3_VALUE},
    {"Reserved2", 0x38, DWORD_VALUE},
    {"Interrupt Line", 0x3C, BYTE_VALUE},
    {"Interrupt Pin", 0x3D, BYTE_VALUE},
    {"Minimam Grant", 0x3E, BYTE_VALUE},
    {"Maximum Latency", 0x3F, BYTE_VALUE},
};

// Header layout 1: a PCI-to-PCI bridge.
const RegisterRow kBridgeRows[] = {
    {"BAR0", 0x10, DWORD_VALUE},
    {"BAR1", 0x14, DWORD_VALUE},
    {"Primary Bus", 0x18, BYTE_VALUE},
    {"Secondary Bus", 0x19, BYTE_VALUE},
    {"Subordinate Bus", 0x1A, BYTE_VALUE},
    {"Secondary Latency", 0x1B, BYTE_VALUE},
    {"IO Base", 0x1C, BYTE_VALUE},
    {"IO Limit", 0x1D, BYTE_VALUE},
    {"Secondary Status", 0x1E, WORD_VALUE},
    {"Memory Base", 0x20, WORD_VALUE},
    {"Memory Limit", 0x22, WORD_VALUE},
    {"Prefetch Base", 0x24, WORD_VALUE},
    {"Prefetch Limit", 0x26, WORD_VALUE},
    {"Prefetch Base Upper32", 0x28, DWORD_VALUE},
    {"Prefetch Limit Upper32", 0x2C, DWORD_VALUE},
    {"IO Base Upper16", 0x30, WORD_VALUE},
    {"IO Limit Upper16", 0x32, WORD_VALUE},
    {"Capabilities Pointer", 0x34, BYTE_VALUE},
    {"Reserved", 0x35, BYTES3_VALUE},
    {"ROM Base Address", 0x38, DWORD_VALUE},
    {"Interrupt Line", 0x3C, BYTE_VALUE},
    {"Interrupt Pin", 0x3D, BYTE_VALUE},
    {"Bridge Control", 0x3E, WORD_VALUE},
};

// Header layout 2: a CardBus bridge.
const RegisterRow kCardBusRows[] = {
    {"Socket Registers Base Address", 0x10, DWORD_VALUE},
    {"Capabilities Pointer", 0x14, BYTE_VALUE},
    {"Reserved", 0x15, BYTE_VALUE},
    {"Secondary Status", 0x16, WORD_VALUE},
    {"Primary Bus", 0x18, BYTE_VALUE},
    {"Secondary Bus", 0x19, BYTE_VALUE},
    {"Subordinate Bus", 0x1A, BYTE_VALUE},
    {"Secondary Latency", 0x1B, BYTE_VALUE},
    {"Base1", 0x1C, DWORD_VALUE},
    {"Limit1", 0x20, DWORD_VALUE},
    {"Base2", 0x24, DWORD_VALUE},
    {"Limit2", 0x28, DWORD_VALUE},
    {"Base3", 0x2C, DWORD_VALUE},
    {"Limit3", 0x30, DWORD_VALUE},
    {"Base4", 0x34, DWORD_VALUE},
    {"Limit4", 0x38, DWORD_VALUE},
    {"Interrupt Line", 0x3C, BYTE_VALUE},
    {"Interrupt Pin", 0x3D, BYTE_VALUE},
    {"Bridge Control", 0x3E, WORD_VALUE},
};

struct HeaderLayout {
  const RegisterRow *rows;
  int count;
};

#define LAYOUT(rows) \
  { rows, (int)(sizeof(rows) / sizeof((rows)[0])) }
const HeaderLayout kLayouts[] = {LAYOUT(kDeviceRows), LAYOUT(kBridgeRows), LAYOUT(kCardBusRows)};
#undef LAYOUT

const int kCommonRowCount = (int)(sizeof(kCommonRows) / sizeof(kCommonRows[0]));
const int kLayoutCount = (int)(sizeof(kLayouts) / sizeof(kLayouts[0]));
const int kDumpRowBytes = 16;
const int kHeaderEnd = 0x40;         // the decoded header of every known layout ends here
const int kUnknownHeaderEnd = 0x10;  // of an unknown layout only the common part is decoded

// Every header type byte (bit 7 is the multi-function flag) names a layout. Types 3 to 7Fh are not defined:
// the view shows the common rows, which every layout has, and dumps everything after them.
bool IsKnownLayout(int headerType) { return headerType >= 0 && headerType < kLayoutCount; }
bool IsHeaderType(int headerType) { return headerType >= 0 && headerType <= 0x7F; }

void FormatValue(const BYTE *config, const RegisterRow &row, char *text) {
  const BYTE *p = config + row.offset;
  switch (row.format) {
    case BYTE_VALUE:
      sprintf(text, "%02X", p[0]);
      break;
    case WORD_VALUE:
      sprintf(text, "%04X", p[0] | (p[1] << 8));
      break;
    case CLASS_VALUE:
      sprintf(text, "%06X", p[0] | (p[1] << 8) | (p[2] << 16));
      break;
    case DWORD_VALUE:
      sprintf(text, "%08X", p[0] | (p[1] << 8) | (p[2] << 16) | ((unsigned int)p[3] << 24));
      break;
    case BYTES3_VALUE:
      sprintf(text, "%02X%02X%02X", p[0], p[1], p[2]);
      break;
  }
}

// Four groups of four bytes, each group in address order.
void FormatDumpValue(const BYTE *bytes, char *text) {
  unsigned int group[4];
  for (size_t g = 0; g < 4; g++) {
    const BYTE *p = bytes + 4 * g;
    group[g] = ((unsigned int)p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
  }
  sprintf(text, "%08X %08X %08X %08X", group[0], group[1], group[2], group[3]);
}

}  // namespace

void CKelvorantDlg::BuildRegisterRows(int headerType) {
  m_registerList.SendMessage(LVM_DELETEALLITEMS, 0, 0);

  if (IsHeaderType(headerType)) {
    int row = 0;
    for (int i = 0; i < kCommonRowCount; i++) m_registerList.SetCellText(row++, 0, kCommonRows[i].label);
    if (IsKnownLayout(headerType)) {
      const HeaderLayout &layout = kLayouts[headerType];
      for (int i = 0; i < layout.count; i++) m_registerList.SetCellText(row++, 0, layout.rows[i].label);
    }
  }

  // Fitted once, to the labels: the value column takes the rest of the list's width.
  m_registerList.SendMessage(LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  m_registerList.SendMessage(LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
}

void CKelvorantDlg::FillRegisterValues(const BYTE *config, const BYTE *extConfig) {
  char text[40];
  int headerType = config[0x0E] & 0x7F;

  int row = 0;
  for (int i = 0; i < kCommonRowCount; i++) {
    FormatValue(config, kCommonRows[i], text);
    m_registerList.SetCellText(row++, 1, text);
  }

  int dumpStart = kUnknownHeaderEnd;
  if (IsKnownLayout(headerType)) {
    const HeaderLayout &layout = kLayouts[headerType];
    for (int i = 0; i < layout.count; i++) {
      FormatValue(config, layout.rows[i], text);
      m_registerList.SetCellText(row++, 1, text);
    }
    dumpStart = kHeaderEnd;
  }

  for (int offset = dumpStart; offset < CONFIG_SIZE; offset += kDumpRowBytes) {
    sprintf(text, "Device Specific [%X]", offset);
    m_registerList.SetCellText(row, 0, text);
    FormatDumpValue(config + offset, text);
    m_registerList.SetCellText(row, 1, text);
    row++;
  }

  if (extConfig == NULL) return;
  for (int offset = CONFIG_SIZE; offset < CONFIG_SIZE + EXT_CONFIG_SIZE; offset += kDumpRowBytes) {
    sprintf(text, "Device Specific [%X]", offset);
    m_registerList.SetCellText(row, 0, text);
    FormatDumpValue(extConfig + (offset - CONFIG_SIZE), text);
    m_registerList.SetCellText(row, 1, text);
    row++;
  }
}
