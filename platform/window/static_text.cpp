// Static controls: text in the dialog font, wrapped, aligned as SS_LEFT, SS_CENTER or SS_RIGHT say.
#include <FL/fl_draw.H>

#include "control_widgets.h"
#include "draw3d.h"
#include "palette.h"
#include "text_fit.h"

namespace kvplat::window {

namespace {

class StaticText : public ControlWidget {
 public:
  using ControlWidget::ControlWidget;

  void draw() override {
    Window *w = Model();
    if (!w || w->text.empty()) return;
    Fl_Align align = FL_ALIGN_TOP | FL_ALIGN_WRAP | FL_ALIGN_INSIDE | FL_ALIGN_CLIP;
    switch (w->style & 0x1F) {
      case SS_CENTER: break;
      case SS_RIGHT: align |= FL_ALIGN_RIGHT; break;
      default: align |= FL_ALIGN_LEFT; break;
    }
    SelectDialogFont();
    fl_color((w->style & WS_DISABLED) ? palette::kGrayText : palette::kText);
    fl_draw(w->text.c_str(), x(), y(), this->w(), h(), align, nullptr, 0);
    int textW = this->w(), textH = 0;
    fl_measure(w->text.c_str(), textW, textH, 0);
    ReportTextFit(Handle(), w->text, textW <= this->w() && textH <= h());
  }

  int handle(int) override { return 0; }
};

}  // namespace

std::unique_ptr<ControlWidget> MakeStaticText(HWND hwnd, const RECT &rect) {
  return std::make_unique<StaticText>(hwnd, rect);
}

}  // namespace kvplat::window
