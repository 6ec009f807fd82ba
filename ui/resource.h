//{{NO_DEPENDENCIES}}
// Microsoft Visual C++ generated include file.
// Used by kelvorant.rc
//
#define IDD_MAIN_DIALOG                 102
#define IDR_MAINFRAME                   128
#define IDC_DEVICE_LIST                 1000
#define IDC_RESCAN_BUS                  1001
#define IDC_REGISTER_LIST               1002
#define IDC_SAVED_DEVICE1               1004
#define IDC_RELOAD1                     1008
#define IDC_RELOAD2                     1009
#define IDC_RELOAD3                     1010
#define IDC_RELOAD4                     1011
#define IDC_RELOAD5                     1012
#define IDC_SAVE1                       1013
#define IDC_SAVE2                       1014
#define IDC_SAVE3                       1015
#define IDC_SAVE4                       1016
#define IDC_SAVE5                       1017
#define IDC_SAVED_DEVICE2               1018
#define IDC_SAVED_DEVICE3               1019
#define IDC_SAVED_DEVICE4               1020
#define IDC_SAVED_DEVICE5               1021

// Next default values for new objects
// 
#ifdef APSTUDIO_INVOKED
#ifndef APSTUDIO_READONLY_SYMBOLS
#define _APS_NEXT_RESOURCE_VALUE        129
#define _APS_NEXT_COMMAND_VALUE         32771
#define _APS_NEXT_CONTROL_VALUE         1022
#define _APS_NEXT_SYMED_VALUE           101
#endif
#endif
