// The active front end, and MessageBoxA, which it shows.
#include "kvplat/frontend.h"

#include <utility>

#include "kvplat/diag.h"

namespace kvplat {

namespace {
FrontEnd *g_active = nullptr;
}  // namespace

FrontEnd &ActiveFrontEnd() { return *g_active; }

FrontEnd *SetActiveFrontEnd(FrontEnd *frontEnd) { return std::exchange(g_active, frontEnd); }

int ScaleForDpi(int pixelsAt96) { return MulDiv(pixelsAt96, g_active->Dpi(), kDefaultDpi); }

}  // namespace kvplat

// A null caption shows "Error", as on Windows. The program's boxes have the one button OK (MB_OK).
extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  if (uType != MB_OK) kvplat::ReportUnimplemented("MessageBoxA: a type other than MB_OK");
  kvplat::ActiveFrontEnd().ShowMessageBox(hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
  return IDOK;
}
