#include "control_widget.h"

#include <FL/Fl.H>
#include <FL/Fl_Group.H>

#include <commctrl.h>


namespace kvplat::window {

ControlWidget::ControlWidget(HWND hwnd, const RECT &rect)
    : Fl_Widget(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top), hwnd_(hwnd) {
  // The window manager's focus (GetFocus) is the only focus; FLTK's keyboard navigation stays out of it.
  visible_focus(0);
}

void ControlWidget::Detach() {
  hwnd_ = nullptr;
  hide();
}

void ControlWidget::SyncPlacement() {
  Window *w = Model();
  if (!w) return;
  const RECT &r = w->rect;
  if (x() != r.left || y() != r.top || this->w() != r.right - r.left || h() != r.bottom - r.top) {
    if (parent()) parent()->damage(FL_DAMAGE_ALL);
    resize(r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
  bool visible = (w->style & WS_VISIBLE) != 0;
  if (visible && !this->visible()) show();
  if (!visible && this->visible()) {
    hide();
    if (parent()) parent()->damage(FL_DAMAGE_ALL);
  }
}

int ControlWidget::BorderWidth() const {
  Window *w = Model();
  return w && (w->style & WS_BORDER) ? 1 : 0;
}

bool ControlWidget::SendMouse(UINT msg) {
  HWND hwnd = hwnd_;
  const int border = BorderWidth();  // the client area lies inside it
  SendMessageA(hwnd, msg, msg == WM_LBUTTONDOWN ? MK_LBUTTON : 0,
               MAKELPARAM(Fl::event_x() - x() - border, Fl::event_y() - y() - border));
  return IsWindow(hwnd);
}

std::unique_ptr<ControlWidget> MakeControlWidget(HWND hwnd) {
  Window *w = FindWindowState(hwnd);
  if (!w) return nullptr;
  // Class names are kept as registered.
  if (w->className == "Button") {
    if ((w->style & BS_TYPEMASK) == BS_GROUPBOX) return MakeGroupBox(hwnd, w->rect);
    return MakePushButton(hwnd, w->rect);
  }
  if (w->className == "Edit") return MakeEditBox(hwnd, w->rect);
  if (w->className == WC_LISTVIEWA) return MakeListView(hwnd, w->rect);
  return nullptr;
}

}  // namespace kvplat::window
