// The five configuration slots: Save copies the marked function's configuration space into a slot,
// Reload writes it back and shows the function as read back.
#include "ui/KelvorantDlg.h"

#include <stdio.h>
#include <string.h>

#include "driver/DriverInterface.h"
#include "inventory/DeviceKey.h"

CEdit *CKelvorantDlg::SlotEdit(DWORD slot) {
  CEdit *edits[SLOT_COUNT] = {&m_editSlot1, &m_editSlot2, &m_editSlot3, &m_editSlot4, &m_editSlot5};
  return edits[slot];
}

DWORD CKelvorantDlg::SaveDevice(DWORD slot, DWORD bus, DWORD device, DWORD function) {
  // Whatever the slot held is gone from here on, whether or not the save succeeds.
  m_slotKey[slot] = NO_DEVICE_KEY;
  memset(m_slotConfig[slot], 0, CONFIG_SIZE);
  memset(m_slotExtConfig[slot], 0, EXT_CONFIG_SIZE);

  ConfigRequest request;
  ExtConfigRequest extRequest;
  memset(&request, 0, sizeof(request));
  memset(&extRequest, 0, sizeof(extRequest));

  request.bus = bus;
  request.device = device;
  request.function = function;
  if (!SendDeviceRequest(IOCTL_READ_CONFIG, &request, sizeof(request)) || !ConfigRequestDone(request)) return 1;

  if (GetInterfaceKind(request.data) == INTERFACE_PCI_EXPRESS) {
    extRequest.bus = bus;
    extRequest.device = device;
    extRequest.function = function;
    if (!SendDeviceRequest(IOCTL_READ_EXT_CONFIG, &extRequest, sizeof(extRequest)) || extRequest.status != EXT_CONFIG_STATUS_DONE) return 1;
  }

  memcpy(m_slotConfig[slot], request.data, CONFIG_SIZE);
  memcpy(m_slotExtConfig[slot], extRequest.data, EXT_CONFIG_SIZE);
  m_slotKey[slot] = MakeDeviceKey(request.bus, request.device, request.function);
  return 0;
}

DWORD CKelvorantDlg::ReloadDevice(DWORD slot, DWORD bus, DWORD device, DWORD function) {
  ConfigRequest request;
  ExtConfigRequest extRequest;
  memset(&request, 0, sizeof(request));
  memset(&extRequest, 0, sizeof(extRequest));

  request.bus = bus;
  request.device = device;
  request.function = function;
  memcpy(request.data, m_slotConfig[slot], CONFIG_SIZE);

  // Decided on the saved header, before anything is written.
  BOOL pciExpress = GetInterfaceKind(m_slotConfig[slot]) == INTERFACE_PCI_EXPRESS;

  if (!SendDeviceRequest(IOCTL_WRITE_CONFIG, &request, sizeof(request)) || !ConfigRequestDone(request)) return 1;
  if (!pciExpress) return 0;

  extRequest.bus = bus;
  extRequest.device = device;
  extRequest.function = function;
  memcpy(extRequest.data, m_slotExtConfig[slot], EXT_CONFIG_SIZE);
  if (!SendDeviceRequest(IOCTL_WRITE_EXT_CONFIG, &extRequest, sizeof(extRequest)) || extRequest.status != EXT_CONFIG_STATUS_DONE) return 1;
  return 0;
}

void CKelvorantDlg::SaveSlot(DWORD slot) {
  if (slot >= SLOT_COUNT) return;

  int mark = (int)m_deviceList.SendMessage(LVM_GETSELECTIONMARK, 0, 0);
  if (mark == -1) return;

  UINT bus, device, function;
  UnpackDeviceKey((DWORD)m_deviceList.GetItemData(mark), &bus, &device, &function);

  char text[32];
  memset(text, 0, sizeof(text));
  if (SaveDevice(slot, bus, device, function) == 1) {
    AfxMessageBox("SaveDevice:ERROR", MB_OK, 0);
    // The slot is empty now, and its edit says so: an empty edit, as before the first save.
  } else {
    sprintf(text, "%X:%X:%X", bus, device, function);
  }
  SlotEdit(slot)->SetWindowText(text);
}

void CKelvorantDlg::ReloadSlot(DWORD slot) {
  if (slot >= SLOT_COUNT) return;

  DWORD key = m_slotKey[slot];
  if (key == NO_DEVICE_KEY) return;

  UINT bus, device, function;
  UnpackDeviceKey(key, &bus, &device, &function);
  if (ReloadDevice(slot, bus, device, function) == 1) {
    AfxMessageBox("ReloadDevice:Error", MB_OK, 0);
    return;
  }

  int mark = (int)m_deviceList.SendMessage(LVM_GETSELECTIONMARK, 0, 0);
  if (mark != -1) {
    m_deviceList.SetItemState(mark, 0, LVIS_FOCUSED);
    m_deviceList.SetItemState(mark, 0, LVIS_SELECTED);
  }

  for (int row = 0; row < (int)m_deviceList.SendMessage(LVM_GETITEMCOUNT, 0, 0); row++) {
    if ((DWORD)m_deviceList.GetItemData(row) == key) {
      m_deviceList.SendMessage(LVM_SETSELECTIONMARK, 0, row);
      m_deviceList.SetItemState(row, LVIS_FOCUSED, LVIS_FOCUSED);
      m_deviceList.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
      break;
    }
  }

  // Read afresh: the view shows what the function holds after the write.
  BuildRegisterRows(-1);
  ShowDeviceRegisters(bus, device, function);
}

void CKelvorantDlg::OnSaveConfig1() { SaveSlot(0); }
void CKelvorantDlg::OnSaveConfig2() { SaveSlot(1); }
void CKelvorantDlg::OnSaveConfig3() { SaveSlot(2); }
void CKelvorantDlg::OnSaveConfig4() { SaveSlot(3); }
void CKelvorantDlg::OnSaveConfig5() { SaveSlot(4); }
void CKelvorantDlg::OnReloadConfig1() { ReloadSlot(0); }
void CKelvorantDlg::OnReloadConfig2() { ReloadSlot(1); }
void CKelvorantDlg::OnReloadConfig3() { ReloadSlot(2); }
void CKelvorantDlg::OnReloadConfig4() { ReloadSlot(3); }
void CKelvorantDlg::OnReloadConfig5() { ReloadSlot(4); }
