// Single-line edits. A read-only edit has the grey static background, can take the focus, and its text can
// be selected with the mouse (EM_SETSEL) and copied (the dialog window copies on Ctrl+C); it is never typed
// into.
#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "control_widget.h"
#include "draw3d.h"
#include "kvplat/frontend.h"
#include "kvplat/window.h"
#include "text_fit.h"

namespace kvplat::window {

namespace {

constexpr int kMargin = 2;  // between the client edge and the text, at 96 dpi

struct EditSelection {
  size_t start = 0;
  size_t end = 0;
};

// EM_SETSEL keeps the anchor and the active end as given; drawing and copying need them in order, inside
// the text.
EditSelection NormalizeSelection(int start, int end, size_t length) {
  auto clamp = [length](int v) { return static_cast<size_t>(std::clamp<long long>(v, 0, static_cast<long long>(length))); };
  size_t a = clamp(start), b = clamp(end);
  return a <= b ? EditSelection{a, b} : EditSelection{b, a};
}

// The caret position nearest to `x` pixels from the text's left edge, in the dialog font.
size_t CharacterIndexAt(std::string_view text, int x) {
  FrontEnd &fe = ActiveFrontEnd();
  int previous = 0;
  for (size_t i = 1; i <= text.size(); ++i) {
    int width = fe.TextWidth(text.substr(0, i));
    // Past the middle of character i-1, the caret goes after it.
    if (x < (previous + width + 1) / 2) return i - 1;
    previous = width;
  }
  return text.size();
}

class EditBox : public ControlWidget {
 public:
  using ControlWidget::ControlWidget;

  void draw() override {
    Window *w = Model();
    auto *state = StateOf<EditState>(Handle());
    if (!w || !state) return;
    const int edge = (w->style & WS_BORDER) ? 2 : 0;
    fl_rectf(x(), y(), this->w(), h(), (w->style & ES_READONLY) ? palette::kFace : palette::kWindow);
    if (edge) DrawEdge(x(), y(), this->w(), h(), Edge::Sunken);

    SelectDialogFont();
    const int left = TextLeft(), top = y() + (h() - fl_height()) / 2;
    const int width = this->w() - 2 * (edge + ScaleForDpi(kMargin));
    fl_push_clip(x() + edge, y() + edge, this->w() - 2 * edge, h() - 2 * edge);
    DrawTextLine(w->text, left, top, width + 1000, palette::kText);
    ReportTextFit(Handle(), w->text, PrefixWidth(w->text, w->text.size()) <= width && fl_height() <= h() - 2 * edge);
    const bool focused = GetFocus() == Handle();
    if (focused) {
      EditSelection sel = NormalizeSelection(state->selectionStart, state->selectionEnd, w->text.size());
      if (sel.end > sel.start) {
        const int sx = left + PrefixWidth(w->text, sel.start), ex = left + PrefixWidth(w->text, sel.end);
        fl_rectf(sx, top, ex - sx, fl_height(), palette::kSelection);
        std::string_view selected = std::string_view(w->text).substr(sel.start, sel.end - sel.start);
        DrawTextLine(selected, sx, top, ex - sx + 1000, palette::kSelectionText);
      }
      // The caret stands where the selection was extended to.
      const int caret = left + PrefixWidth(w->text, std::clamp<size_t>(state->selectionEnd, 0, w->text.size()));
      fl_color(palette::kText);
      fl_yxline(caret, top, top + fl_height() - 1);
    }
    fl_pop_clip();
  }

  int handle(int event) override {
    if (!Model()) return 0;
    switch (event) {
      case FL_ENTER:
        window()->cursor(FL_CURSOR_INSERT);
        return 1;
      case FL_LEAVE:
        window()->cursor(FL_CURSOR_DEFAULT);
        return 1;
      case FL_PUSH: {
        if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
        if (!SendMouse(WM_LBUTTONDOWN)) return 1;
        if (Fl::event_clicks() > 0) {
          SendMessageA(Handle(), EM_SETSEL, 0, -1);  // a double click selects the whole text
          anchor_ = -1;
          return 1;
        }
        anchor_ = IndexAt(Fl::event_x());
        SendMessageA(Handle(), EM_SETSEL, anchor_, anchor_);
        return 1;
      }
      case FL_DRAG:
        if (anchor_ >= 0) SendMessageA(Handle(), EM_SETSEL, anchor_, IndexAt(Fl::event_x()));
        return 1;
      case FL_RELEASE:
        SendMouse(WM_LBUTTONUP);
        CopySelection(Handle(), 0);  // X11's primary selection follows the mouse
        return 1;
    }
    return 0;
  }

 private:
  int TextLeft() const { return x() + BorderWidth() * 2 + ScaleForDpi(kMargin); }

  int IndexAt(int mouseX) const {
    Window *w = Model();
    return w ? static_cast<int>(CharacterIndexAt(w->text, mouseX - TextLeft())) : 0;
  }

  static int PrefixWidth(const std::string &text, size_t n) {
    return ActiveFrontEnd().TextWidth(std::string_view(text).substr(0, n));
  }

  int anchor_ = -1;
};

}  // namespace

void CopySelection(HWND edit, int clipboard) {
  Window *w = FindWindowState(edit);
  auto *state = StateOf<EditState>(edit);
  if (!w || !state) return;
  EditSelection sel = NormalizeSelection(state->selectionStart, state->selectionEnd, w->text.size());
  // X11 selections are owned by a shown window; without one (no display) there is nothing to copy to.
  if (sel.end <= sel.start || !Fl::first_window()) return;
  Fl::copy(w->text.data() + sel.start, static_cast<int>(sel.end - sel.start), clipboard);
}

std::unique_ptr<ControlWidget> MakeEditBox(HWND hwnd, const RECT &rect) {
  return std::make_unique<EditBox>(hwnd, rect);
}

}  // namespace kvplat::window
