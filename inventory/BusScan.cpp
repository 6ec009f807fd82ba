// The bus scan: one IOCTL_READ_CONFIG per address, one device-list row per function that answers.
#include "ui/KelvorantDlg.h"

#include <stdio.h>
#include <string.h>

#include "driver/DriverInterface.h"
#include "inventory/DeviceKey.h"

namespace {

const ULONG kBusCount = 256;
const ULONG kDeviceCount = 32;
const ULONG kFunctionCount = 8;

// Device-list columns.
enum { COL_TYPE, COL_BUS, COL_DEVICE, COL_FUNCTION, COL_CLASS, COL_VID, COL_DID, COL_DESCRIPTION };

// The order in which the columns are fitted to their contents.
const int kFitOrder[] = {COL_TYPE, COL_BUS, COL_DEVICE, COL_FUNCTION, COL_VID, COL_DID, COL_CLASS, COL_DESCRIPTION};

WORD ReadWord(const UCHAR *data, int offset) { return (WORD)(data[offset] | (data[offset + 1] << 8)); }

}  // namespace

BOOL CKelvorantDlg::ScanBus() {
  m_deviceList.SendMessage(LVM_DELETEALLITEMS, 0, 0);

  ConfigRequest request;
  char text[64];

  for (ULONG bus = 0; bus < kBusCount; bus++) {
    for (ULONG device = 0; device < kDeviceCount; device++) {
      for (ULONG function = 0; function < kFunctionCount; function++) {
        memset(&request, 0, sizeof(request));
        request.bus = bus;
        request.device = device;
        request.function = function;

        if (!SendDeviceRequest(IOCTL_READ_CONFIG, &request, sizeof(request))) return FALSE;

        if (request.status == CONFIG_STATUS_ABSENT) break;  // nothing here: the next device
        if (request.status == CONFIG_STATUS_FAILED) {
          if (ReadWord(request.data, 0x00) != 0xFFFF) printf("Error\n");
          break;
        }

        // The function answered: a row at the end of the list.
        int row = (int)m_deviceList.SendMessage(LVM_GETITEMCOUNT, 0, 0);
        DWORD classCode = (request.data[0x0B] << 16) | (request.data[0x0A] << 8) | request.data[0x09];
        GetClassDescription(classCode, text);
        m_deviceList.SetCellText(row, COL_TYPE, text);
        m_deviceList.SetItem(row, 0, LVIF_PARAM, NULL, 0, 0, 0,
                             MakeDeviceKey(request.bus, request.device, request.function));

        sprintf(text, "%d", (int)bus);
        m_deviceList.SetCellText(row, COL_BUS, text);
        sprintf(text, "%d", (int)device);
        m_deviceList.SetCellText(row, COL_DEVICE, text);
        sprintf(text, "%d", (int)function);
        m_deviceList.SetCellText(row, COL_FUNCTION, text);
        sprintf(text, "%04X", ReadWord(request.data, 0x00));
        m_deviceList.SetCellText(row, COL_VID, text);
        sprintf(text, "%04X", ReadWord(request.data, 0x02));
        m_deviceList.SetCellText(row, COL_DID, text);
        sprintf(text, "%06x", (unsigned int)classCode);
        m_deviceList.SetCellText(row, COL_CLASS, text);

        if (GetInterfaceKind(request.data) == INTERFACE_PCI_EXPRESS)
          m_deviceList.SetCellText(row, COL_DESCRIPTION, "PCI Express");
      }
    }
  }

  for (int i = 0; i < (int)(sizeof(kFitOrder) / sizeof(kFitOrder[0])); i++)
    m_deviceList.SendMessage(LVM_SETCOLUMNWIDTH, kFitOrder[i], MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));

  // The mark first: selecting row 0 refreshes the register view, which reads the mark.
  m_deviceList.SendMessage(LVM_SETSELECTIONMARK, 0, 0);
  m_deviceList.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  m_deviceList.SetItemState(0, LVIS_FOCUSED, LVIS_FOCUSED);
  return TRUE;
}

void CKelvorantDlg::OnRescanBus() { ScanBus(); }
