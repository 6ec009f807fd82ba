// A front end for tests, with the headless metrics: the modal loop runs a test's body, then closes the dialog
// as its close box would; message boxes and dialog fonts are recorded. One is active from the start of every
// test program that links it; one that a test makes is active until it goes.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "kvplat/frontend.h"

namespace kvtest {

class TestFrontEnd : public kvplat::FrontEnd {
 public:
  std::function<void(HWND)> body;
  std::vector<std::string> messageBoxes;  // "caption|text|type"
  std::vector<std::string> dialogFonts;   // "typeface|points"

  TestFrontEnd() : previous_(kvplat::SetActiveFrontEnd(this)) {}
  ~TestFrontEnd() override { kvplat::SetActiveFrontEnd(previous_); }

  int TextWidth(std::string_view text) override {
    return static_cast<int>(text.size()) * kvplat::kHeadlessCharWidth;
  }
  int BaseUnitX() override { return kvplat::kHeadlessCharWidth; }
  int BaseUnitY() override { return kvplat::kHeadlessLineHeight; }
  void UseDialogFont(const std::string &typeface, int points) override {
    dialogFonts.push_back(typeface + "|" + std::to_string(points));
  }
  void RunModalLoop(HWND dialog) override;
  void ShowMessageBox(HWND, const std::string &text, const std::string &caption, UINT type) override {
    messageBoxes.push_back(caption + "|" + text + "|" + std::to_string(type));
  }

 private:
  kvplat::FrontEnd *previous_;
};

}  // namespace kvtest
