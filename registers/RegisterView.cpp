// The register view follows the device list's selection mark: each newly marked row is read from the driver
// and shown.
#include "ui/KelvorantDlg.h"

#include <string.h>

#include "driver/DriverInterface.h"
#include "inventory/DeviceKey.h"

// The device-list row whose registers were last requested; -1 before the first.
int g_nLastSelectedItem = -1;

void CKelvorantDlg::OnItemChangedDeviceList(NMHDR *pNMHDR, LRESULT *pResult) {
  NMLISTVIEW *pNMLV = (NMLISTVIEW *)pNMHDR;
  if ((pNMLV->uOldState ^ pNMLV->uNewState) & LVIS_SELECTED) RefreshRegisterView();
  *pResult = 0;
}

void CKelvorantDlg::OnClickDeviceList(NMHDR *, LRESULT *pResult) {
  RefreshRegisterView();
  *pResult = 0;
}

void CKelvorantDlg::RefreshRegisterView() {
  int mark = (int)m_deviceList.SendMessage(LVM_GETSELECTIONMARK, 0, 0);
  // A click produces two notifications; the second finds its row already shown.
  if (mark == g_nLastSelectedItem) return;
  g_nLastSelectedItem = mark;
  if (mark == -1) return;

  BuildRegisterRows(-1);

  UINT bus, device, function;
  UnpackDeviceKey((DWORD)m_deviceList.GetItemData(mark), &bus, &device, &function);
  ShowDeviceRegisters(bus, device, function);
}

DWORD CKelvorantDlg::ShowDeviceRegisters(DWORD bus, DWORD device, DWORD function) {
  ConfigRequest request;
  ExtConfigRequest extRequest;
  memset(&request, 0, sizeof(request));
  memset(&extRequest, 0, sizeof(extRequest));

  request.bus = bus;
  request.device = device;
  request.function = function;
  if (!SendDeviceRequest(IOCTL_READ_CONFIG, &request, sizeof(request))) return 1;
  if (!ConfigRequestDone(request)) return 1;

  BOOL pciExpress = GetInterfaceKind(request.data) == INTERFACE_PCI_EXPRESS;
  if (pciExpress) {
    extRequest.bus = bus;
    extRequest.device = device;
    extRequest.function = function;
    if (!SendDeviceRequest(IOCTL_READ_EXT_CONFIG, &extRequest, sizeof(extRequest))) return 1;
    if (extRequest.status != EXT_CONFIG_STATUS_DONE) return 1;
  }

  // Every check is done: only now does the list change, painted once when the fill is over.
  m_registerList.SendMessage(WM_SETREDRAW, FALSE, 0);
  BuildRegisterRows(request.data[0x0E] & 0x7F);
  FillRegisterValues(request.data, pciExpress ? extRequest.data : NULL);
  m_registerList.SendMessage(WM_SETREDRAW, TRUE, 0);
  return 0;
}
