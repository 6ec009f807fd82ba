// The main dialog with its lists attached to bare list-view windows, for testing its operations without
// running the dialog.
#pragma once
#include "ui/KelvorantDlg.h"

#include <string>
#include <vector>

class TestableDlg : public CKelvorantDlg {
 public:
  TestableDlg();
  ~TestableDlg() override;

  using CKelvorantDlg::m_deviceList;
  using CKelvorantDlg::m_registerList;

  // The register list's rows as {label, value}.
  std::vector<std::pair<std::string, std::string>> RegisterRows() const;
  std::vector<int> RegisterColumnWidths() const;

 private:
  HWND parent_ = nullptr;
};

// A configuration image with the fields a test sets.
struct TestImage {
  BYTE bytes[256] = {};
  TestImage &Set(int offset, std::initializer_list<int> values) {
    for (int v : values) bytes[offset++] = static_cast<BYTE>(v);
    return *this;
  }
};
