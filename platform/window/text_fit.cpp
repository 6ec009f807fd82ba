#include "text_fit.h"

namespace kvplat::window {

namespace {
TextFitListener g_listener = nullptr;
}  // namespace

void SetTextFitListener(TextFitListener listener) { g_listener = listener; }

void ReportTextFit(HWND control, std::string_view text, bool whole) {
  if (g_listener && !text.empty()) g_listener(control, text, whole);
}

}  // namespace kvplat::window
