#include "test_frontend.h"

#include "kvplat/window.h"

namespace kvtest {

void TestFrontEnd::RunModalLoop(HWND dialog) {
  if (body) body(dialog);
  if (!kvplat::IsDialogEnded(dialog)) kvplat::input::CloseBox(dialog);
}

namespace {
TestFrontEnd g_default;
}  // namespace

}  // namespace kvtest
