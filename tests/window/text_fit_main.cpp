// kelvorant as it runs in a window, with an entry point of its own in place of the platform's start-up: once
// the main dialog is shown, it paints the dialog again while listening to which control texts are drawn
// whole (text_fit.h), closes the dialog as by its close box, and writes every cut text to the file named on
// its command line, one "ID<TAB>text" line each, sorted. dpi.sh wants them empty at two resolutions.
#include <windows.h>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include <cstdio>
#include <set>
#include <string>
#include <utility>

#include "dialog_window.h"
#include "kvplat/frontend.h"
#include "kvplat/resources.h"
#include "text_fit.h"
#include "window_frontend.h"

extern const kvplat::EmbeddedFile kv_embedded_resources[];

namespace {

bool g_listening = false;
std::set<std::pair<int, std::string>> g_cut;

}  // namespace

// In place of the front end's own, which keeps nothing (platform/window/text_fit.cpp).
void kvplat::window::ReportTextFit(HWND control, std::string_view text, bool whole) {
  if (g_listening && !whole && !text.empty()) g_cut.emplace(GetDlgCtrlID(control), std::string(text));
}

namespace {

// Runs in the dialog's modal loop, so after OnInitDialog has filled it.
void PaintAndClose(void *) {
  auto *window = dynamic_cast<kvplat::window::DialogWindow *>(Fl::first_window());
  if (!window || !window->shown() || !window->visible()) {
    Fl::repeat_timeout(0.1, PaintAndClose);
    return;
  }
  g_listening = true;
  window->redraw();
  Fl::flush();
  g_listening = false;
  kvplat::input::CloseBox(window->Dialog());
  // Wakes the modal loop, which waits for the next event before it sees that the dialog has ended.
  Fl::add_timeout(0.01, [](void *) {});
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CUT-TEXTS-FILE\n", argv[0]);
    return 2;
  }
  kvplat::RegisterModuleResources(kv_embedded_resources);
  std::string error;
  std::unique_ptr<kvplat::FrontEnd> frontEnd = kvplat::MakeWindowFrontEnd(&error);
  if (!frontEnd) {
    std::fprintf(stderr, "cannot open a window: %s\n", error.c_str());
    return 2;
  }
  kvplat::SetActiveFrontEnd(frontEnd.get());
  Fl::add_timeout(0.1, PaintAndClose);
  char commandLine[] = "";
  int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
  kvplat::SetActiveFrontEnd(nullptr);
  frontEnd.reset();

  std::FILE *out = std::fopen(argv[1], "w");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  for (const auto &[id, text] : g_cut) std::fprintf(out, "%d\t%s\n", id, text.c_str());
  return std::fclose(out) == 0 ? status : 1;
}
