// The dialog manager's per-dialog state, and what front ends need to know of a dialog.
#pragma once
#include <windows.h>

#include <string>

#include "kvplat/window.h"

namespace kvplat {

struct DialogState : ControlState {
  DLGPROC dialogProc = nullptr;
  LRESULT msgResult = 0;  // DWLP_MSGRESULT
  LONG_PTR user = 0;      // DWLP_USER
  int defaultId = IDOK;   // DM_GETDEFID: the last BS_DEFPUSHBUTTON of the template, else IDOK
  HWND lastFocus = nullptr;
  bool ended = false;
  INT_PTR result = 0;
  int baseUnitX = 0;      // the base units the template was laid out with
  int baseUnitY = 0;
};

struct DialogTemplate;

// The typeface a template's dialog is drawn in: the one it names, except that a DIALOGEX template with
// DS_SHELLFONT naming "MS Shell Dlg" gets "MS Shell Dlg 2", the shell's newer dialog font. Empty when the
// template names none (no DS_SETFONT): the system font.
std::string DialogTypeface(const DialogTemplate &tmpl);

// True once EndDialog has been called for the dialog (or the window is gone).
bool IsDialogEnded(HWND dialog);

// The dialog that contains a window (the window itself when it is a dialog), or null.
HWND OwningDialog(HWND hwnd);


}  // namespace kvplat
