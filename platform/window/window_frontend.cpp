// The window front end: FLTK windows for dialogs and message boxes, text metrics from the dialog font.
#include "window_frontend.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <map>
#include <type_traits>

#include "dialog_font.h"
#include "dialog_window.h"
#include "display.h"
#include "draw3d.h"
#include "font_face.h"
#include "host/termination.h"
#include "kvplat/diag.h"
#include "kvplat/window.h"
#include "kvplat/window_library.h"

namespace kvplat {

namespace {

using window::DialogWindow;

double MeasureInDialogFont(std::string_view text) {
  window::SelectDialogFont();
  return fl_width(text.data(), static_cast<int>(text.size()));
}

// The FLTK font of a fontconfig family (Xft's names: a space for the regular style, then the family).
Fl_Font FltkFont(const std::string &family) {
  static std::map<std::string, Fl_Font> fonts;  // FLTK keeps the name's pointer: the map's keys stay put
  auto [it, added] = fonts.try_emplace(" " + family, static_cast<Fl_Font>(FL_FREE_FONT + fonts.size()));
  if (added) Fl::set_font(it->second, it->first.c_str());
  return it->second;
}

class WindowFrontEnd : public FrontEnd {
 public:
  explicit WindowFrontEnd(int dpi) : widths_(MeasureInDialogFont), dpi_(dpi) {
    // Until a template names its own, the shell's dialog font, which message boxes are drawn in too.
    ChooseFont("MS Shell Dlg 2", window::kDialogFontPoints);
    // A termination signal wakes Fl::wait through its pipe; the loops below then see it.
    if (kvhost::TerminationFd() >= 0) Fl::add_fd(kvhost::TerminationFd(), FL_READ, StopWatchingSignals);
  }

  ~WindowFrontEnd() override { StopWatchingSignals(kvhost::TerminationFd(), nullptr); }

  int TextWidth(std::string_view text) override { return widths_.Width(text); }
  int BaseUnitX() override { return units_.x; }
  int BaseUnitY() override { return units_.y; }
  int Dpi() override { return dpi_; }

  void UseDialogFont(const std::string &typeface, int points) override {
    if (typeface.empty() || points <= 0 || (typeface == typeface_ && points == points_)) return;
    ChooseFont(typeface, points);
  }

  void RunModalLoop(HWND dialog) override {
    if (!FindWindowState(dialog)) return;
    if (window_) ReportUnimplemented("a modal dialog opened from another one");
    auto window = std::make_unique<DialogWindow>(dialog);
    // Centred on the screen: a window manager would put the frame of the template's position, the origin,
    // off the edge.
    int sx, sy, sw, sh;
    Fl::screen_work_area(sx, sy, sw, sh);
    window->position(sx + std::max(0, (sw - window->w()) / 2), sy + std::max(0, (sh - window->h()) / 2));
    window_ = window.get();
    window->show();
    // A termination signal (even one that came while the dialog was being made) closes the dialog as its
    // close box does, so that the program's own shut-down runs. Should the dialog refuse to close, it stays
    // in the person's hands.
    bool closing = false;
    while (!IsDialogEnded(dialog)) {
      if (!closing && TerminationRequested()) {
        closing = true;
        input::CloseBox(dialog);
        continue;
      }
      Fl::wait();
    }
    window_ = nullptr;
    window->Close();
  }

  // FLTK's own message box: the caption, the text in the dialog font, and one button, OK (the program shows
  // no other kind). Input to every other window waits while it is shown.
  void ShowMessageBox(HWND, const std::string &text, const std::string &caption, UINT) override {
    fl_close = "OK";
    fl_message_title(caption.c_str());
    fl_message_font(window::DialogFontFace(), window::DialogFontSize());
    // MB_OK alone shows no icon, and Windows centres a message box rather than putting it under the mouse.
    fl_message_icon()->labeltype(FL_NO_LABEL);
    fl_message_icon()->box(FL_NO_BOX);
    fl_message_hotspot(0);
    Fl::add_check(AnswerOnTermination);
    fl_message("%s", text.c_str());
    Fl::remove_check(AnswerOnTermination);
  }

  void Invalidate(HWND hwnd) override {
    if (window_) window_->Invalidate(hwnd);
  }

  void WindowDestroyed(HWND hwnd) override {
    if (window_) window_->WindowDestroyed(hwnd);
  }

 private:
  // The face that serves the typeface, with Windows' arithmetic when it is Windows' own face: its size for
  // the points, and base units from its letters and its own line height. Else the stand-in, as large as
  // Windows' base units allow.
  void ChooseFont(const std::string &typeface, int points) {
    typeface_ = typeface;
    points_ = points;
    const window::ServedFace face = window::FindFace(window::SubstituteFace(typeface));
    if (face.found) {
      constexpr int kPointsPerInch = 72;
      const int size = MulDiv(points, dpi_, kPointsPerInch);
      window::SetDialogFont(FltkFont(face.family), size);
      window::SelectDialogFont();
      const int lineHeight = window::WindowsLineHeight(face.metrics, size);
      units_ = window::ComputeBaseUnits(MeasureInDialogFont, lineHeight > 0 ? lineHeight : fl_height());
    } else {
      window::SetDialogFont(FL_HELVETICA, window::ChooseDialogFontSize(dpi_, [](int size) {
                              window::SetDialogFont(FL_HELVETICA, size);
                              window::SelectDialogFont();
                              return window::ComputeBaseUnits(MeasureInDialogFont, fl_height());
                            }));
      window::SelectDialogFont();
      units_ = window::ComputeBaseUnits(MeasureInDialogFont, fl_height());
    }
    widths_ = window::TextWidthCache(MeasureInDialogFont);
  }

  // A termination signal answers the box, as the headless front end answers every box, so that the dialog
  // behind it can close. (FLTK calls this before each wait; the signal wakes the wait.)
  static void AnswerOnTermination(void *) {
    if (TerminationRequested() && Fl::modal()) Fl::modal()->hide();
  }

  // The pipe stays readable once a signal has come: it woke the loop once, and is not watched any more.
  static void StopWatchingSignals(FL_SOCKET fd, void *) {
    if (fd >= 0) Fl::remove_fd(fd);
  }

  window::TextWidthCache widths_;
  window::BaseUnits units_;
  int dpi_;
  std::string typeface_;  // the dialog font asked for last
  int points_ = 0;
  DialogWindow *window_ = nullptr;  // the dialog in its modal loop
};

}  // namespace

std::unique_ptr<FrontEnd> MakeWindowFrontEnd(std::string *error) {
  if (!window::OpenDisplay(error)) return nullptr;
  return std::make_unique<WindowFrontEnd>(window::DisplayResolution());
}

}  // namespace kvplat

// The entry point of the window library kelvorant-window.so, the one symbol that it exports (library.map).
extern "C" kvplat::FrontEnd *KvCreateWindowFrontEnd(std::string *error) {
  return kvplat::MakeWindowFrontEnd(error).release();
}

static_assert(std::is_same_v<decltype(&KvCreateWindowFrontEnd), kvplat::WindowLibraryEntry>,
              "the entry point has the type that the program's start-up calls it through");
