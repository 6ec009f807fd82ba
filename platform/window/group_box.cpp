// Group boxes: an etched frame whose top line runs through the middle of the caption. They never take the
// focus and let clicks through to what lies under them, so the widget ignores every event.
#include <FL/fl_draw.H>

#include "control_widget.h"
#include "draw3d.h"
#include "kvplat/frontend.h"
#include "palette.h"
#include "text_fit.h"

namespace kvplat::window {

namespace {

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

std::unique_ptr<ControlWidget> MakeGroupBox(HWND hwnd, const RECT &rect) {
  return std::make_unique<GroupBox>(hwnd, rect);
}

}  // namespace kvplat::window
