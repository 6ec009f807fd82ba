// The Button class's widgets. Push buttons: the mouse works as on Windows, the press takes the focus and
// pushes the button, moving off it lets it spring back (BM_SETSTATE), and only a release over it clicks
// (WM_LBUTTONUP → BN_CLICKED). Group boxes: an etched frame whose top line runs through the middle of the
// caption; they never take the focus and let clicks through to what lies under them, so the widget ignores
// every event.
#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include "control_widget.h"
#include "draw3d.h"
#include "kvplat/frontend.h"
#include "text_fit.h"

namespace kvplat::window {

namespace {

// The button that shows the default ring: the focused push button, else the default push button while the
// focus is elsewhere (the dialog manager moves the ring with the focus).
bool ShowsDefaultRing(const Window &w) {
  HWND focus = GetFocus();
  Window *focused = FindWindowState(focus);
  bool focusOnPushButton = focused && focused->parent == w.parent && focused->className == w.className &&
                           (focused->style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
  if (focusOnPushButton) return focus == w.handle;
  return (w.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

class PushButton : public ControlWidget {
 public:
  using ControlWidget::ControlWidget;
  bool IsPushButton() const override { return true; }

  void draw() override {
    Window *w = Model();
    auto *state = StateOf<ButtonState>(Handle());
    if (!w || !state) return;
    ButtonLook look;
    look.ring = ShowsDefaultRing(*w);
    look.pushed = state->pushed;
    look.focused = GetFocus() == Handle();
    ReportTextFit(Handle(), w->text, DrawPushButton(x(), y(), this->w(), h(), w->text, look));
  }

  int handle(int event) override {
    if (!Model()) return 0;
    switch (event) {
      case FL_PUSH:
        if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
        SendMouse(WM_LBUTTONDOWN);
        return 1;
      case FL_DRAG: {
        auto *state = StateOf<ButtonState>(Handle());
        bool inside = Fl::event_inside(this) != 0;
        if (state && GetFocus() == Handle() && state->pushed != inside)
          SendMessageA(Handle(), BM_SETSTATE, inside, 0);
        return 1;
      }
      case FL_RELEASE:
        if (Fl::event_button() != FL_LEFT_MOUSE) return 1;
        if (!Fl::event_inside(this)) SendMessageA(Handle(), BM_SETSTATE, FALSE, 0);
        SendMouse(WM_LBUTTONUP);
        return 1;
    }
    return 0;
  }
};

// At 96 dpi, scaled with the resolution.
constexpr int kCaptionIndent = 8;  // from the frame's left edge to the caption's background
constexpr int kCaptionPadding = 2;

class GroupBox : public ControlWidget {
 public:
  using ControlWidget::ControlWidget;

  void draw() override {
    Window *w = Model();
    if (!w) return;
    SelectDialogFont();
    const int textHeight = fl_height();
    const int frameTop = y() + textHeight / 2;
    DrawEdge(x(), frameTop, this->w(), h() - (frameTop - y()), Edge::Etched);
    if (w->text.empty()) return;
    // A caption longer than the frame is cut by the control's edge, not shortened.
    const int tx = x() + ScaleForDpi(kCaptionIndent), padding = ScaleForDpi(kCaptionPadding);
    const int textWidth = ActiveFrontEnd().TextWidth(w->text);
    fl_push_clip(x(), y(), this->w(), h());
    fl_rectf(tx - padding, y(), textWidth + 2 * padding, textHeight, palette::kFace);
    DrawTextLine(w->text, tx, y(), textWidth + 1, palette::kText);
    fl_pop_clip();
    ReportTextFit(Handle(), w->text, tx + textWidth <= x() + this->w() && textHeight <= h());
  }

  int handle(int) override { return 0; }
};

}  // namespace

std::unique_ptr<ControlWidget> MakePushButton(HWND hwnd, const RECT &rect) {
  return std::make_unique<PushButton>(hwnd, rect);
}

std::unique_ptr<ControlWidget> MakeGroupBox(HWND hwnd, const RECT &rect) {
  return std::make_unique<GroupBox>(hwnd, rect);
}

}  // namespace kvplat::window
