#include "message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <memory>
#include <vector>

#include "button_look.h"
#include "draw3d.h"
#include "kvplat/frontend.h"
#include "kvplat/msgbox.h"
#include "kvplat/diag.h"
#include "message_box_icon.h"
#include "message_box_rules.h"
#include "palette.h"

namespace kvplat::window {

namespace {

// Sizes at 96 dpi, scaled with the resolution.
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kMaxTextWidth = 420;
constexpr int kButtonGap = 8;
constexpr int kBandPadding = 11;
constexpr int kMinWidth = 180;
constexpr int kCaptionExtra = 80;  // the title bar's icon and close box beside its text

class MessageBoxWindow;

class MessageButton : public Fl_Widget {
 public:
  MessageButton(int x, int y, int w, int h, MessageBoxWindow *box, int index, const char *text)
      : Fl_Widget(x, y, w, h), box_(box), index_(index), text_(text) {
    visible_focus(0);
  }
  void draw() override;
  int handle(int event) override;

 private:
  MessageBoxWindow *box_;
  int index_;
  const char *text_;
  bool pushed_ = false;
};

class MessageBoxWindow : public Fl_Double_Window {
 public:
  MessageBoxWindow(const std::string &text, const std::string &caption, UINT type)
      : Fl_Double_Window(kMinWidth, 100), text_(text), type_(type), buttons_(MessageBoxButtons(type)) {
    copy_label(caption.c_str());
    box(FL_FLAT_BOX);
    color(palette::kFace);
    int defaultId = MessageBoxDefaultButton(type);
    for (size_t i = 0; i < buttons_.size(); ++i)
      if (buttons_[i].id == defaultId) focus_ = static_cast<int>(i);
    Layout();
    callback(CloseBoxCallback, this);
    set_modal();
  }

  ~MessageBoxWindow() override {
    for (auto &button : widgets_) remove(button.get());
  }

  int Focus() const { return focus_; }
  bool Answered() const { return answer_ != 0; }
  int Answer() const { return answer_; }
  int EscapeAnswer() const { return MessageBoxEscapeResult(type_); }
  void Press(int index) { answer_ = buttons_[index].id; }

  void draw() override {
    fl_rectf(0, 0, w(), h(), palette::kFace);
    fl_rectf(0, 0, w(), bandTop_, palette::kMessageText);
    if (hasIcon_) DrawMessageBoxIcon(type_, margin_, margin_, iconSize_);
    SelectDialogFont();
    fl_color(palette::kText);
    fl_draw(text_.c_str(), textX_, textY_, textW_, textH_, FL_ALIGN_TOP_LEFT | FL_ALIGN_WRAP | FL_ALIGN_INSIDE, nullptr,
            0);
    draw_children();
  }

  int handle(int event) override {
    if (event == FL_FOCUS || event == FL_UNFOCUS) return 1;
    // FL_SHORTCUT: a key that reached no focused widget; either way every key is the box's.
    if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
      const int count = static_cast<int>(buttons_.size());
      switch (Fl::event_key()) {
        case FL_Enter:
        case FL_KP_Enter:
        case ' ':
          Press(focus_);
          return 1;
        case FL_Escape:
          if (int id = EscapeAnswer()) answer_ = id;
          return 1;
        case FL_Tab:
          MoveFocus(NextMessageBoxButton(focus_, count, !(Fl::event_state() & FL_SHIFT)));
          return 1;
        case FL_Right:
        case FL_Down:
          MoveFocus(NextMessageBoxButton(focus_, count, true));
          return 1;
        case FL_Left:
        case FL_Up:
          MoveFocus(NextMessageBoxButton(focus_, count, false));
          return 1;
      }
      return 1;
    }
    return Fl_Double_Window::handle(event);
  }

  void MoveFocus(int index) {
    focus_ = index;
    for (auto &b : widgets_) b->redraw();
  }

 private:
  void Layout() {
    FrontEnd &fe = ActiveFrontEnd();
    // Buttons are 50 x 14 dialog units, as the system's message box lays them out.
    const int buttonW = MulDiv(50, fe.BaseUnitX(), 4), buttonH = MulDiv(14, fe.BaseUnitY(), 8);
    margin_ = ScaleForDpi(kMargin);
    iconSize_ = ScaleForDpi(kIconSize);
    const int gap = ScaleForDpi(kButtonGap), band = ScaleForDpi(kBandPadding);
    SelectDialogFont();
    int tw = ScaleForDpi(kMaxTextWidth), th = 0;
    fl_measure(text_.c_str(), tw, th, 0);
    hasIcon_ = (type_ & MB_ICONMASK) != 0;
    textX_ = margin_ + (hasIcon_ ? iconSize_ + margin_ : 0);
    textW_ = std::max(tw, 1);
    textH_ = std::max(th, fl_height());
    const int contentH = std::max(hasIcon_ ? iconSize_ : 0, textH_);
    textY_ = margin_ + (contentH - textH_) / 2;
    bandTop_ = contentH + 2 * margin_;
    const int buttonsW = static_cast<int>(buttons_.size()) * (buttonW + gap) - gap;
    const int captionW = fe.TextWidth(label()) + ScaleForDpi(kCaptionExtra);
    const int width =
        std::max({textX_ + textW_ + margin_, buttonsW + 2 * band, captionW, ScaleForDpi(kMinWidth)});
    const int height = bandTop_ + buttonH + 2 * band;
    size(width, height);
    begin();
    int bx = width - band - buttonsW;
    for (size_t i = 0; i < buttons_.size(); ++i) {
      widgets_.push_back(std::make_unique<MessageButton>(bx, bandTop_ + band, buttonW, buttonH, this,
                                                         static_cast<int>(i), buttons_[i].text));
      bx += buttonW + gap;
    }
    end();
  }

  static void CloseBoxCallback(Fl_Widget *, void *data) {
    auto *self = static_cast<MessageBoxWindow *>(data);
    if (int id = self->EscapeAnswer()) self->answer_ = id;
  }

  std::string text_;
  UINT type_;
  std::vector<MessageBoxButton> buttons_;
  std::vector<std::unique_ptr<MessageButton>> widgets_;
  int focus_ = 0;
  int answer_ = 0;
  bool hasIcon_ = false;
  int margin_ = 0, iconSize_ = 0;
  int textX_ = 0, textY_ = 0, textW_ = 0, textH_ = 0, bandTop_ = 0;
};

void MessageButton::draw() {
  ButtonLook look;
  look.focused = look.ring = box_->Focus() == index_;
  look.pushed = pushed_;
  DrawPushButton(x(), y(), w(), h(), text_, look);
}

int MessageButton::handle(int event) {
  switch (event) {
    case FL_PUSH:
      pushed_ = true;
      box_->MoveFocus(index_);
      return 1;
    case FL_DRAG:
      if (pushed_ != (Fl::event_inside(this) != 0)) {
        pushed_ = !pushed_;
        redraw();
      }
      return 1;
    case FL_RELEASE:
      if (pushed_) box_->Press(index_);
      pushed_ = false;
      redraw();
      return 1;
  }
  return 0;
}

}  // namespace

int RunMessageBox(Fl_Window *owner, const std::string &text, const std::string &caption, UINT type) {
  MessageBoxWindow box(text, caption, type);
  if (owner && owner->shown()) {
    box.position(owner->x() + (owner->w() - box.w()) / 2, owner->y() + (owner->h() - box.h()) / 2);
  } else {
    int sx, sy, sw, sh;
    Fl::screen_work_area(sx, sy, sw, sh);
    box.position(sx + (sw - box.w()) / 2, sy + (sh - box.h()) / 2);
  }
  box.show();
  // A termination signal answers the box with its default button, as the headless front end answers every
  // box, so that the dialog behind it can close.
  bool signalled = false;
  while (!box.Answered() && box.shown() && !(signalled = TerminationRequested())) Fl::wait();
  int answer = MessageBoxDefaultButton(type);
  if (box.Answered()) {
    answer = box.Answer();
  } else if (!signalled && box.EscapeAnswer()) {
    answer = box.EscapeAnswer();  // closed by the window manager
  }
  box.hide();
  return answer;
}

}  // namespace kvplat::window
