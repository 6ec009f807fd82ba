// The main dialog: construction, data exchange, initialisation, the icon, and the message map.
#include "KelvorantDlg.h"

#include <string.h>

#include "inventory/DeviceKey.h"

// cppcheck-suppress uninitMemberVar ; the slots are emptied in OnInitDialog, before any handler can run
CKelvorantDlg::CKelvorantDlg(CWnd *pParent) : CDialog(CKelvorantDlg::IDD, pParent) {
  m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

CKelvorantDlg::~CKelvorantDlg() {}

void CKelvorantDlg::DoDataExchange(CDataExchange *pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_DEVICE_LIST, m_deviceList);
  DDX_Control(pDX, IDC_REGISTER_LIST, m_registerList);
  DDX_Control(pDX, IDC_SAVED_DEVICE1, m_editSlot1);
  DDX_Control(pDX, IDC_SAVED_DEVICE2, m_editSlot2);
  DDX_Control(pDX, IDC_SAVED_DEVICE3, m_editSlot3);
  DDX_Control(pDX, IDC_SAVED_DEVICE4, m_editSlot4);
  DDX_Control(pDX, IDC_SAVED_DEVICE5, m_editSlot5);
}

BEGIN_MESSAGE_MAP(CKelvorantDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_RESCAN_BUS, &CKelvorantDlg::OnRescanBus)
ON_BN_CLICKED(IDC_SAVE1, &CKelvorantDlg::OnSaveConfig1)
ON_BN_CLICKED(IDC_SAVE2, &CKelvorantDlg::OnSaveConfig2)
ON_BN_CLICKED(IDC_SAVE3, &CKelvorantDlg::OnSaveConfig3)
ON_BN_CLICKED(IDC_SAVE4, &CKelvorantDlg::OnSaveConfig4)
ON_BN_CLICKED(IDC_SAVE5, &CKelvorantDlg::OnSaveConfig5)
ON_BN_CLICKED(IDC_RELOAD1, &CKelvorantDlg::OnReloadConfig1)
ON_BN_CLICKED(IDC_RELOAD2, &CKelvorantDlg::OnReloadConfig2)
ON_BN_CLICKED(IDC_RELOAD3, &CKelvorantDlg::OnReloadConfig3)
ON_BN_CLICKED(IDC_RELOAD4, &CKelvorantDlg::OnReloadConfig4)
ON_BN_CLICKED(IDC_RELOAD5, &CKelvorantDlg::OnReloadConfig5)
ON_NOTIFY(LVN_ITEMCHANGED, IDC_DEVICE_LIST, &CKelvorantDlg::OnItemChangedDeviceList)
ON_NOTIFY(NM_CLICK, IDC_DEVICE_LIST, &CKelvorantDlg::OnClickDeviceList)
END_MESSAGE_MAP()

BOOL CKelvorantDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // The icon of the window's caption and of the task switcher.
  SendMessage(WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
  SendMessage(WM_SETICON, ICON_SMALL, (LPARAM)m_hIcon);

  DWORD exStyle = (DWORD)m_deviceList.SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  m_deviceList.SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, exStyle | LVS_EX_FULLROWSELECT);

  m_deviceList.AddColumn("Type", 0);
  m_deviceList.AddColumn("Bus#", 1);
  m_deviceList.AddColumn("Dev#", 2);
  m_deviceList.AddColumn("Func#", 3);
  m_deviceList.AddColumn("Class", 4);
  m_deviceList.AddColumn("VID", 5);
  m_deviceList.AddColumn("DID", 6);
  m_deviceList.AddColumn("Description", 7);

  m_registerList.AddColumn("Register", 0);
  m_registerList.AddColumn("Value", 1);

  for (DWORD slot = 0; slot < SLOT_COUNT; slot++) {
    m_slotKey[slot] = NO_DEVICE_KEY;
    memset(m_slotConfig[slot], 0, CONFIG_SIZE);
    memset(m_slotExtConfig[slot], 0, EXT_CONFIG_SIZE);
  }

  ScanBus();

  return TRUE;  // the dialog manager focuses the first tab stop, "Exit"
}

// A minimised dialog draws its icon centred in the client area; otherwise the dialog paints itself.
void CKelvorantDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);

    SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.GetSafeHdc(), 0);

    int cxIcon = GetSystemMetrics(SM_CXICON);
    int cyIcon = GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    int x = (rect.Width() - cxIcon + 1) / 2;
    int y = (rect.Height() - cyIcon + 1) / 2;

    dc.DrawIcon(x, y, m_hIcon);
  } else {
    CDialog::OnPaint();
  }
}

// The cursor shown while the user drags the minimised window.
HCURSOR CKelvorantDlg::OnQueryDragIcon() { return (HCURSOR)m_hIcon; }
