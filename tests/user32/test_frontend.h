// A front end for tests: the modal loop runs a test's body, then closes the dialog as its close box would.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "kvplat/dialog.h"
#include "kvplat/frontend.h"
#include "kvplat/input.h"
#include "kvplat/msgbox.h"

namespace kvtest {

class TestFrontEnd : public kvplat::FrontEnd {
 public:
  std::function<void(HWND)> body;
  std::vector<std::string> messageBoxes;  // "caption|text|type"
  std::vector<std::string> dialogFonts;   // "typeface|points"

  TestFrontEnd() { kvplat::SetActiveFrontEnd(this); }
  ~TestFrontEnd() override { kvplat::SetActiveFrontEnd(nullptr); }

  int TextWidth(std::string_view text) override { return static_cast<int>(text.size()) * 6; }
  int BaseUnitX() override { return 6; }
  int BaseUnitY() override { return 13; }
  void UseDialogFont(const std::string &typeface, int points) override {
    dialogFonts.push_back(typeface + "|" + std::to_string(points));
  }
  void RunModalLoop(HWND dialog) override {
    if (body) body(dialog);
    if (!kvplat::IsDialogEnded(dialog)) kvplat::input::CloseBox(dialog);
  }
  int ShowMessageBox(HWND, const std::string &text, const std::string &caption, UINT type) override {
    messageBoxes.push_back(caption + "|" + text + "|" + std::to_string(type));
    return kvplat::MessageBoxDefaultButton(type);
  }
};

// Registers the tests' resource section (test_dialogs.rc) as the module's and returns its dialog template `id`.
LPCDLGTEMPLATEA LoadTestDialog(int id);

}  // namespace kvtest
