// The application: brings the driver up, runs the main dialog, takes the driver down.
#pragma once

#include <afxwin.h>

class CKelvorantApp : public CWinApp {
 public:
  CKelvorantApp();
  virtual ~CKelvorantApp();

  virtual BOOL InitInstance();

 protected:
  DECLARE_MESSAGE_MAP()
};

extern CKelvorantApp theApp;
