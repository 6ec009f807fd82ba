// The main dialog: the device list, the register view, and the five configuration slots.
#pragma once

#include <afxwin.h>

#include "ReportListCtrl.h"
#include "resource.h"

#define SLOT_COUNT 5
#define CONFIG_SIZE 256
#define EXT_CONFIG_SIZE 3840

// GetInterfaceKind results.
#define INTERFACE_PCI 0
#define INTERFACE_PCIX 1
#define INTERFACE_PCI_EXPRESS 2

class CKelvorantDlg : public CDialog {
 public:
  CKelvorantDlg(CWnd *pParent = NULL);
  virtual ~CKelvorantDlg();

  enum { IDD = IDD_MAIN_DIALOG };

  // Device classification
  void GetClassDescription(DWORD classCode, char *text);
  DWORD GetInterfaceKind(const BYTE *image);

  // Bus scan and device list
  BOOL ScanBus();

  // Register view
  void BuildRegisterRows(int headerType);
  void FillRegisterValues(const BYTE *config, const BYTE *extConfig);
  void RefreshRegisterView();
  DWORD ShowDeviceRegisters(DWORD bus, DWORD device, DWORD function);

  // Configuration slots
  DWORD SaveDevice(DWORD slot, DWORD bus, DWORD device, DWORD function);
  DWORD ReloadDevice(DWORD slot, DWORD bus, DWORD device, DWORD function);
  void SaveSlot(DWORD slot);
  void ReloadSlot(DWORD slot);

 protected:
  virtual void DoDataExchange(CDataExchange *pDX);
  virtual BOOL OnInitDialog();

  afx_msg void OnPaint();
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg void OnRescanBus();
  afx_msg void OnSaveConfig1();
  afx_msg void OnSaveConfig2();
  afx_msg void OnSaveConfig3();
  afx_msg void OnSaveConfig4();
  afx_msg void OnSaveConfig5();
  afx_msg void OnReloadConfig1();
  afx_msg void OnReloadConfig2();
  afx_msg void OnReloadConfig3();
  afx_msg void OnReloadConfig4();
  afx_msg void OnReloadConfig5();
  afx_msg void OnItemChangedDeviceList(NMHDR *pNMHDR, LRESULT *pResult);
  afx_msg void OnClickDeviceList(NMHDR *pNMHDR, LRESULT *pResult);
  DECLARE_MESSAGE_MAP()

  HICON m_hIcon;
  BYTE m_slotConfig[SLOT_COUNT][CONFIG_SIZE];
  BYTE m_slotExtConfig[SLOT_COUNT][EXT_CONFIG_SIZE];
  DWORD m_slotKey[SLOT_COUNT];
  CReportListCtrl m_deviceList;
  CReportListCtrl m_registerList;
  CEdit m_editSlot1;
  CEdit m_editSlot2;
  CEdit m_editSlot3;
  CEdit m_editSlot4;
  CEdit m_editSlot5;

 private:
  CEdit *SlotEdit(DWORD slot);
};
