// List views in report view, drawn from ListViewState and ListViewLayout: the header, the rows from
// topIndex on, the selection (full row or the first column's label), the focus rectangle and the scroll bars.
// A click in the rows goes to the list view as WM_LBUTTONDOWN/WM_LBUTTONUP at its client point, so the
// list view hit-tests and notifies itself; the wheel and the vertical scroll bar scroll by rows through
// ListViewSetTopIndex. The horizontal scroll offset is the widget's own: the list view keeps none.
#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "control_widget.h"
#include "draw3d.h"
#include "kvplat/frontend.h"
#include "kvplat/listview.h"
#include "list_view_paint.h"
#include "palette.h"
#include "scroll_geometry.h"

namespace kvplat::window {

namespace {

constexpr int kWheelLines = 3;            // rows per wheel notch, as SPI_GETWHEELSCROLLLINES
constexpr int kHorizontalLine = 16;       // pixels per horizontal arrow click or wheel notch
constexpr double kRepeatDelay = 0.4;      // before a held arrow or track starts repeating
constexpr double kRepeatInterval = 0.05;

enum class Bar { Off, Vertical, Horizontal };

// A small filled triangle pointing along the bar (towards its start for the first arrow); embossed grey when
// there is nothing to scroll.
void DrawArrow(int x, int y, int w, int h, bool vertical, bool towardsStart, bool enabled, bool pushed) {
  const int size = std::max(2, std::min(w, h) / 4), shift = pushed ? 1 : 0;
  const int along = (vertical ? y + h / 2 : x + w / 2) + shift, across = (vertical ? x + w / 2 : y + h / 2) + shift;
  const int tip = towardsStart ? along - size / 2 - 1 : along + size / 2, base = towardsStart ? tip + size : tip - size;
  auto triangle = [&](int d, Fl_Color color) {
    fl_color(color);
    if (vertical) fl_polygon(across - size + d, base + d, across + size + d, base + d, across + d, tip + d);
    else fl_polygon(base + d, across - size + d, base + d, across + size + d, tip + d, across + d);
  };
  if (!enabled) triangle(1, palette::kHighlight);
  triangle(0, enabled ? palette::kText : palette::kShadow);
}

void DrawButton(int x, int y, int w, int h, bool pushed) {
  if (w <= 0 || h <= 0) return;
  fl_rectf(x, y, w, h, palette::kFace);
  if (pushed) DrawFrame(x, y, w, h, palette::kShadow);
  else DrawEdge(x, y, w, h, Edge::Raised);
}

// A classic scroll bar from its layout: two arrow buttons, the track, the thumb; `pressed` is drawn held
// down (an arrow) or darkened (a page part).
void DrawScrollBar(int x, int y, int w, int h, bool vertical, const ScrollBarLayout &layout, ScrollPart pressed) {
  if (w <= 0 || h <= 0) return;
  const bool enabled = layout.thumbLength > 0;
  // Positions along the bar map to y (vertical) or x (horizontal).
  auto rect = [&](int start, int length, auto draw) {
    if (vertical) draw(x, y + start, w, length);
    else draw(x + start, y, length, h);
  };
  fl_rectf(x, y, w, h, palette::kScrollTrack);
  if (enabled && (pressed == ScrollPart::PageUp || pressed == ScrollPart::PageDown)) {
    int start = pressed == ScrollPart::PageUp ? layout.arrow : layout.thumbStart + layout.thumbLength;
    int end = pressed == ScrollPart::PageUp ? layout.thumbStart : layout.length - layout.arrow;
    rect(start, end - start, [](int rx, int ry, int rw, int rh) { fl_rectf(rx, ry, rw, rh, palette::kDarkShadow); });
  }
  const int far = layout.length - layout.arrow;
  rect(0, layout.arrow, [&](int rx, int ry, int rw, int rh) {
    DrawButton(rx, ry, rw, rh, pressed == ScrollPart::LineUp);
    DrawArrow(rx, ry, rw, rh, vertical, true, enabled, pressed == ScrollPart::LineUp);
  });
  rect(far, layout.arrow, [&](int rx, int ry, int rw, int rh) {
    DrawButton(rx, ry, rw, rh, pressed == ScrollPart::LineDown);
    DrawArrow(rx, ry, rw, rh, vertical, false, enabled, pressed == ScrollPart::LineDown);
  });
  if (enabled)
    rect(layout.thumbStart, layout.thumbLength, [](int rx, int ry, int rw, int rh) { DrawButton(rx, ry, rw, rh, false); });
}

class ListView : public ControlWidget {
 public:
  using ControlWidget::ControlWidget;
  ~ListView() override { Fl::remove_timeout(Repeat, this); }

  void draw() override {
    ListViewFrame f;
    if (!Frame(&f)) return;
    PaintListView(Handle(), f, hOffset_);
    const int bar = f.geometry.scrollBarSize;
    if (f.geometry.verticalScrollBar) {
      DrawScrollBar(f.clientX + f.geometry.client.right, f.clientY, bar, f.geometry.client.bottom, true,
                    VerticalLayout(f), bar_ == Bar::Vertical ? part_ : ScrollPart::Outside);
    }
    if (f.geometry.horizontalScrollBar) {
      DrawScrollBar(f.clientX, f.clientY + f.geometry.client.bottom, f.geometry.client.right, bar, false,
                    HorizontalLayout(f), bar_ == Bar::Horizontal ? part_ : ScrollPart::Outside);
    }
    if (f.geometry.verticalScrollBar && f.geometry.horizontalScrollBar)
      fl_rectf(f.clientX + f.geometry.client.right, f.clientY + f.geometry.client.bottom, bar, bar, palette::kFace);
  }

  int handle(int event) override {
    ListViewFrame f;
    if (!Frame(&f)) return 0;
    switch (event) {
      case FL_PUSH:
        if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
        if (PushOnScrollBar(f)) return 1;
        // The header is a control of its own; a click on it does not reach the rows.
        if (Fl::event_y() < f.clientY + f.geometry.headerHeight) return 1;
        inRows_ = true;
        SendListMouse(f, WM_LBUTTONDOWN);
        return 1;
      case FL_DRAG:
        if (bar_ != Bar::Off && part_ == ScrollPart::Thumb) DragThumb(f);
        return 1;
      case FL_RELEASE:
        if (bar_ != Bar::Off) {
          Fl::remove_timeout(Repeat, this);
          bar_ = Bar::Off;
          part_ = ScrollPart::Outside;
          redraw();
        } else if (inRows_) {
          inRows_ = false;
          SendListMouse(f, WM_LBUTTONUP);
        }
        return 1;
      case FL_MOUSEWHEEL:
        if (Fl::event_dy()) ScrollRows(Fl::event_dy() * kWheelLines);
        if (Fl::event_dx()) ScrollPixels(f, Fl::event_dx() * kHorizontalLine);
        return 1;
    }
    return 0;
  }

 private:
  bool Frame(ListViewFrame *f) const {
    Window *w = Model();
    auto *state = StateOf<ListViewState>(Handle());
    if (!w || !state) return false;
    *f = ListViewFrameOf(Handle(), x(), y());
    return true;
  }

  ScrollBarLayout VerticalLayout(const ListViewFrame &f) const {
    return LayoutScrollBar(f.geometry.client.bottom, f.geometry.scrollBarSize, VerticalRange(f));
  }
  ScrollBarLayout HorizontalLayout(const ListViewFrame &f) const {
    return LayoutScrollBar(f.geometry.client.right, f.geometry.scrollBarSize, HorizontalRange(f));
  }
  ScrollRange VerticalRange(const ListViewFrame &f) const {
    auto *state = StateOf<ListViewState>(Handle());
    return ScrollRange{static_cast<int>(state->items.size()), std::max(1, f.geometry.rowsPerPage), state->topIndex};
  }
  ScrollRange HorizontalRange(const ListViewFrame &f) const {
    return ScrollRange{f.geometry.columnsWidth, f.geometry.client.right, hOffset_};
  }

  bool PushOnScrollBar(const ListViewFrame &f) {
    const int ex = Fl::event_x() - f.clientX, ey = Fl::event_y() - f.clientY;
    const ListViewGeometry &g = f.geometry;
    ScrollBarLayout layout;
    int offset = 0;
    if (g.verticalScrollBar && ex >= g.client.right && ex < g.client.right + g.scrollBarSize && ey < g.client.bottom) {
      bar_ = Bar::Vertical;
      layout = VerticalLayout(f);
      offset = ey;
    } else if (g.horizontalScrollBar && ey >= g.client.bottom && ey < g.client.bottom + g.scrollBarSize &&
               ex < g.client.right) {
      bar_ = Bar::Horizontal;
      layout = HorizontalLayout(f);
      offset = ex;
    } else {
      // The corner between two bars, or the border: nothing to do, but not a click on the rows either.
      bool inClient = ex >= 0 && ey >= 0 && ex < g.client.right && ey < g.client.bottom;
      return !inClient;
    }
    part_ = ScrollPartAt(layout, offset);
    thumbGrab_ = offset - layout.thumbStart;
    if (part_ != ScrollPart::Thumb && part_ != ScrollPart::Outside) {
      Step();
      Fl::add_timeout(kRepeatDelay, Repeat, this);
    }
    redraw();
    return true;
  }

  // One step of the pressed arrow or track part.
  void Step() {
    ListViewFrame f;
    if (!Frame(&f)) return;
    const bool vertical = bar_ == Bar::Vertical;
    const int line = vertical ? 1 : kHorizontalLine;
    const int page = vertical ? std::max(1, f.geometry.rowsPerPage) : std::max(1, f.geometry.client.right);
    int delta = 0;
    switch (part_) {
      case ScrollPart::LineUp: delta = -line; break;
      case ScrollPart::LineDown: delta = line; break;
      case ScrollPart::PageUp: delta = -page; break;
      case ScrollPart::PageDown: delta = page; break;
      default: return;
    }
    // A held page part stops once the thumb has reached the mouse.
    ScrollBarLayout layout = vertical ? VerticalLayout(f) : HorizontalLayout(f);
    int mouse = vertical ? Fl::event_y() - f.clientY : Fl::event_x() - f.clientX;
    ScrollPart under = ScrollPartAt(layout, mouse);
    if ((part_ == ScrollPart::PageUp || part_ == ScrollPart::PageDown) && under != part_) return;
    if (vertical) ScrollRows(delta);
    else ScrollPixels(f, delta);
  }

  static void Repeat(void *data) {
    auto *self = static_cast<ListView *>(data);
    if (self->bar_ == Bar::Off) return;
    self->Step();
    Fl::repeat_timeout(kRepeatInterval, Repeat, data);
  }

  void DragThumb(const ListViewFrame &f) {
    if (bar_ == Bar::Vertical) {
      ScrollBarLayout layout = VerticalLayout(f);
      int pos = ScrollPosForThumb(layout, VerticalRange(f), Fl::event_y() - f.clientY - thumbGrab_);
      ListViewSetTopIndex(Handle(), pos);
    } else {
      ScrollBarLayout layout = HorizontalLayout(f);
      int pos = ScrollPosForThumb(layout, HorizontalRange(f), Fl::event_x() - f.clientX - thumbGrab_);
      ScrollPixels(f, pos - hOffset_);
    }
  }

  void ScrollRows(int delta) {
    auto *state = StateOf<ListViewState>(Handle());
    if (state) ListViewSetTopIndex(Handle(), state->topIndex + delta);
  }

  void ScrollPixels(const ListViewFrame &f, int delta) {
    int offset = std::clamp(hOffset_ + delta, 0, std::max(0, f.geometry.columnsWidth - f.geometry.client.right));
    if (offset == hOffset_) return;
    hOffset_ = offset;
    redraw();
  }

  void SendListMouse(const ListViewFrame &f, UINT msg) {
    POINT pt = RowsPoint(f, Fl::event_x(), Fl::event_y(), hOffset_);
    SendMessageA(Handle(), msg, msg == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(pt.x, pt.y));
  }

  int hOffset_ = 0;
  Bar bar_ = Bar::Off;
  ScrollPart part_ = ScrollPart::Outside;
  int thumbGrab_ = 0;
  bool inRows_ = false;
};

}  // namespace

std::unique_ptr<ControlWidget> MakeListView(HWND hwnd, const RECT &rect) {
  return std::make_unique<ListView>(hwnd, rect);
}

}  // namespace kvplat::window
