#include "message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <memory>

#include "draw3d.h"
#include "kvplat/frontend.h"
#include "kvplat/termination.h"
#include "palette.h"

namespace kvplat::window {

namespace {

// Sizes at 96 dpi, scaled with the resolution.
constexpr int kMargin = 12;
constexpr int kMaxTextWidth = 420;
constexpr int kBandPadding = 11;
constexpr int kMinWidth = 180;
constexpr int kCaptionExtra = 80;  // the title bar's icon and close box beside its text

// The box's one button, OK: it has the focus and the default ring throughout.
class OkButton : public Fl_Widget {
 public:
  OkButton(int x, int y, int w, int h, bool *answered) : Fl_Widget(x, y, w, h), answered_(answered) {
    visible_focus(0);
  }

  void draw() override {
    ButtonLook look;
    look.focused = look.ring = true;
    look.pushed = pushed_;
    DrawPushButton(x(), y(), w(), h(), "OK", look);
  }

  int handle(int event) override {
    switch (event) {
      case FL_PUSH:
        pushed_ = true;
        redraw();
        return 1;
      case FL_DRAG:
        if (pushed_ != (Fl::event_inside(this) != 0)) {
          pushed_ = !pushed_;
          redraw();
        }
        return 1;
      case FL_RELEASE:
        if (pushed_) *answered_ = true;
        pushed_ = false;
        redraw();
        return 1;
    }
    return 0;
  }

 private:
  bool *answered_;
  bool pushed_ = false;
};

class MessageBoxWindow : public Fl_Double_Window {
 public:
  MessageBoxWindow(const std::string &text, const std::string &caption)
      : Fl_Double_Window(kMinWidth, 100), text_(text) {
    copy_label(caption.c_str());
    box(FL_FLAT_BOX);
    color(palette::kFace);
    Layout();
    // The close box answers as OK does, as it does for a box whose only button is OK.
    callback([](Fl_Widget *, void *answered) { *static_cast<bool *>(answered) = true; }, &answered_);
    set_modal();
  }

  ~MessageBoxWindow() override { remove(button_.get()); }

  bool Answered() const { return answered_; }

  void draw() override {
    fl_rectf(0, 0, w(), h(), palette::kFace);
    fl_rectf(0, 0, w(), bandTop_, palette::kMessageText);
    SelectDialogFont();
    fl_color(palette::kText);
    fl_draw(text_.c_str(), margin_, margin_, textW_, textH_, FL_ALIGN_TOP_LEFT | FL_ALIGN_WRAP | FL_ALIGN_INSIDE,
            nullptr, 0);
    draw_children();
  }

  int handle(int event) override {
    if (event == FL_FOCUS || event == FL_UNFOCUS) return 1;
    // FL_SHORTCUT: a key that reached no focused widget; either way every key is the box's.
    if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
      switch (Fl::event_key()) {
        case FL_Enter:
        case FL_KP_Enter:
        case ' ':
        case FL_Escape:
          answered_ = true;
      }
      return 1;
    }
    return Fl_Double_Window::handle(event);
  }

 private:
  void Layout() {
    FrontEnd &fe = ActiveFrontEnd();
    // Buttons are 50 x 14 dialog units, as the system's message box lays them out.
    const int buttonW = MulDiv(50, fe.BaseUnitX(), 4), buttonH = MulDiv(14, fe.BaseUnitY(), 8);
    margin_ = ScaleForDpi(kMargin);
    const int band = ScaleForDpi(kBandPadding);
    SelectDialogFont();
    int tw = ScaleForDpi(kMaxTextWidth), th = 0;
    fl_measure(text_.c_str(), tw, th, 0);
    textW_ = std::max(tw, 1);
    textH_ = std::max(th, fl_height());
    bandTop_ = textH_ + 2 * margin_;
    const int captionW = fe.TextWidth(label()) + ScaleForDpi(kCaptionExtra);
    const int width = std::max({textW_ + 2 * margin_, buttonW + 2 * band, captionW, ScaleForDpi(kMinWidth)});
    size(width, bandTop_ + buttonH + 2 * band);
    begin();
    button_ = std::make_unique<OkButton>(width - band - buttonW, bandTop_ + band, buttonW, buttonH, &answered_);
    end();
  }

  std::string text_;
  std::unique_ptr<OkButton> button_;
  bool answered_ = false;
  int margin_ = 0, textW_ = 0, textH_ = 0, bandTop_ = 0;
};

}  // namespace

void RunMessageBox(Fl_Window *owner, const std::string &text, const std::string &caption) {
  MessageBoxWindow box(text, caption);
  if (owner && owner->shown()) {
    box.position(owner->x() + (owner->w() - box.w()) / 2, owner->y() + (owner->h() - box.h()) / 2);
  } else {
    int sx, sy, sw, sh;
    Fl::screen_work_area(sx, sy, sw, sh);
    box.position(sx + (sw - box.w()) / 2, sy + (sh - box.h()) / 2);
  }
  box.show();
  // A termination signal answers the box too, as the headless front end answers every box, so that the
  // dialog behind it can close.
  while (!box.Answered() && box.shown() && !TerminationRequested()) Fl::wait();
  box.hide();
}

}  // namespace kvplat::window
