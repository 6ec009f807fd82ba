// The active front end, and the minimal one that answers before a real one is chosen (and in unit tests).
#include "kvplat/frontend.h"

#include "kvplat/dialog.h"
#include "kvplat/input.h"
#include "kvplat/msgbox.h"

namespace kvplat {

namespace {

class MinimalFrontEnd : public FrontEnd {
 public:
  int TextWidth(std::string_view text) override { return static_cast<int>(text.size()) * kHeadlessCharWidth; }
  int BaseUnitX() override { return kHeadlessCharWidth; }
  int BaseUnitY() override { return kHeadlessLineHeight; }
  void RunModalLoop(HWND dialog) override {
    // Nobody to interact with: the dialog closes as by its close box.
    if (!IsDialogEnded(dialog)) input::CloseBox(dialog);
  }
  int ShowMessageBox(HWND, const std::string &, const std::string &, UINT type) override {
    return MessageBoxDefaultButton(type);
  }
};

MinimalFrontEnd g_minimal;
FrontEnd *g_active = &g_minimal;

}  // namespace

FrontEnd &ActiveFrontEnd() { return *g_active; }

void SetActiveFrontEnd(FrontEnd *frontEnd) { g_active = frontEnd ? frontEnd : &g_minimal; }

int ScaleForDpi(int pixelsAt96) { return MulDiv(pixelsAt96, g_active->Dpi(), kDefaultDpi); }

}  // namespace kvplat
