// List views in report view, drawn from ListViewState and ListViewLayout: the header, the rows from
// topIndex on, the selection (full row or the first column's label), the focus rectangle, and FLTK's scroll
// bars where the layout puts them. A click in the rows goes to the list view as WM_LBUTTONDOWN/WM_LBUTTONUP
// at its client point, so the list view hit-tests and notifies itself; the wheel and the vertical scroll bar
// scroll by rows through ListViewSetTopIndex. The horizontal scroll offset is the widget's own: the list
// view keeps none.
#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "control_widget.h"
#include "draw3d.h"
#include "kvplat/listview.h"
#include "list_view_paint.h"

namespace kvplat::window {

namespace {

constexpr int kWheelLines = 3;       // rows per wheel notch, as SPI_GETWHEELSCROLLLINES
constexpr int kHorizontalLine = 16;  // pixels per horizontal arrow click or wheel notch

// An FLTK scroll bar that belongs to no group: the list view places and draws it and hands it its mouse events.
class ScrollBar : public Fl_Scrollbar {
 public:
  ScrollBar() : Fl_Scrollbar(0, 0, 0, 0) {
    if (Fl_Group *group = parent()) group->remove(this);
    visible_focus(0);
    color(palette::kScrollTrack);
    selection_color(palette::kFace);
  }
  using Fl_Scrollbar::draw;
};

class ListView : public ControlWidget {
 public:
  ListView(HWND hwnd, const RECT &rect) : ControlWidget(hwnd, rect) {
    vertical_.linesize(1);  // a row
    horizontal_.type(FL_HORIZONTAL);
    horizontal_.linesize(kHorizontalLine);
    vertical_.callback([](Fl_Widget *, void *data) {
      auto *list = static_cast<ListView *>(data);
      ListViewSetTopIndex(list->Handle(), list->vertical_.value());
    }, this);
    horizontal_.callback([](Fl_Widget *, void *data) {
      auto *list = static_cast<ListView *>(data);
      list->ScrollPixels(list->horizontal_.value());
    }, this);
  }

  void draw() override {
    ListViewFrame f;
    if (!Frame(&f)) return;
    hOffset_ = Clamped(f, hOffset_);  // the columns may have narrowed since it scrolled
    PaintListView(Handle(), f, hOffset_);
    PlaceBars(f);
    for (ScrollBar *bar : {&vertical_, &horizontal_}) {
      if (!bar->visible()) continue;
      bar->damage(FL_DAMAGE_ALL);
      bar->draw();
      bar->clear_damage();
    }
    const ListViewGeometry &g = f.geometry;
    if (g.verticalScrollBar && g.horizontalScrollBar) {
      fl_rectf(f.clientX + g.client.right, f.clientY + g.client.bottom, g.scrollBarSize, g.scrollBarSize,
               palette::kFace);
    }
  }

  int handle(int event) override {
    ListViewFrame f;
    if (!Frame(&f)) return 0;
    hOffset_ = Clamped(f, hOffset_);
    switch (event) {
      case FL_PUSH:
        if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
        PlaceBars(f);
        for (ScrollBar *bar : {&vertical_, &horizontal_}) {
          if (bar->visible() && Fl::event_inside(bar)) pushedBar_ = bar;
        }
        if (pushedBar_) return Forward(event);
        // The header is a control of its own, and the border and the corner between the bars are no rows.
        if (const int ex = Fl::event_x() - f.clientX, ey = Fl::event_y() - f.clientY;
            ex < 0 || ex >= f.geometry.client.right || ey < f.geometry.headerHeight || ey >= f.geometry.client.bottom)
          return 1;
        inRows_ = true;
        SendListMouse(f, WM_LBUTTONDOWN);
        return 1;
      case FL_DRAG:
        return pushedBar_ ? Forward(event) : 1;
      case FL_RELEASE:
        if (pushedBar_) {
          Forward(event);
          pushedBar_ = nullptr;
        } else if (inRows_) {
          inRows_ = false;
          SendListMouse(f, WM_LBUTTONUP);
        }
        return 1;
      case FL_MOUSEWHEEL:
        if (auto *state = StateOf<ListViewState>(Handle()); state && Fl::event_dy())
          ListViewSetTopIndex(Handle(), state->topIndex + Fl::event_dy() * kWheelLines);
        if (Fl::event_dx()) ScrollPixels(hOffset_ + Fl::event_dx() * kHorizontalLine);
        return 1;
    }
    return 0;
  }

 private:
  bool Frame(ListViewFrame *f) const {
    if (!Model() || !StateOf<ListViewState>(Handle())) return false;
    *f = ListViewFrameOf(Handle(), x(), y());
    return true;
  }

  // The bars where the layout puts them, with the ranges they scroll, or hidden.
  void PlaceBars(const ListViewFrame &f) {
    const ListViewGeometry &g = f.geometry;
    auto *state = StateOf<ListViewState>(Handle());
    auto place = [](ScrollBar &bar, bool shown, int x, int y, int w, int h, int pos, int page, int total) {
      if (shown) bar.show();
      else bar.hide();
      bar.resize(x, y, w, h);
      bar.value(pos, page, 0, std::max(total, page));  // `page` of `total` units from `pos` on
    };
    place(vertical_, g.verticalScrollBar, f.clientX + g.client.right, f.clientY, g.scrollBarSize, g.client.bottom,
          state->topIndex, std::max(1, g.rowsPerPage), static_cast<int>(state->items.size()));
    place(horizontal_, g.horizontalScrollBar, f.clientX, f.clientY + g.client.bottom, g.client.right, g.scrollBarSize,
          hOffset_, g.client.right, g.columnsWidth);
  }

  // A mouse event for the pushed bar, which changes the scroll position through its callback; the list view
  // then draws the bar as it now is.
  int Forward(int event) {
    const int handled = pushedBar_->handle(event);
    redraw();
    return handled;
  }

  // A sideways scroll position that the list has now: none once its columns fit.
  static int Clamped(const ListViewFrame &f, int offset) {
    return std::clamp(offset, 0, std::max(0, f.geometry.columnsWidth - f.geometry.client.right));
  }

  void ScrollPixels(int offset) {
    ListViewFrame f;
    if (!Frame(&f)) return;
    offset = Clamped(f, offset);
    if (offset == hOffset_) return;
    hOffset_ = offset;
    redraw();
  }

  void SendListMouse(const ListViewFrame &f, UINT msg) {
    POINT pt = RowsPoint(f, Fl::event_x(), Fl::event_y(), hOffset_);
    SendMessageA(Handle(), msg, msg == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(pt.x, pt.y));
  }

  ScrollBar vertical_;
  ScrollBar horizontal_;
  ScrollBar *pushedBar_ = nullptr;
  int hOffset_ = 0;
  bool inRows_ = false;
};

}  // namespace

std::unique_ptr<ControlWidget> MakeListView(HWND hwnd, const RECT &rect) {
  return std::make_unique<ListView>(hwnd, rect);
}

}  // namespace kvplat::window
