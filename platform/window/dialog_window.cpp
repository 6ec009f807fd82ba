#include "dialog_window.h"

#include <FL/Fl.H>
#include <FL/Fl_RGB_Image.H>

#include "draw3d.h"
#include "kvplat/frontend.h"
#include "kvplat/resources.h"

namespace kvplat::window {

namespace {

int Width(const RECT &r) { return static_cast<int>(r.right - r.left); }
int Height(const RECT &r) { return static_cast<int>(r.bottom - r.top); }

// The virtual key of an FLTK key, or 0 for keys that no control of this system reacts to.
UINT VirtualKeyFromFltk(int fltkKey) {
  switch (fltkKey) {
    case FL_Enter:
    case FL_KP_Enter: return VK_RETURN;
    case FL_Escape: return VK_ESCAPE;
    case FL_Tab: return VK_TAB;
    case ' ': return VK_SPACE;
    case FL_Up: return VK_UP;
    case FL_Down: return VK_DOWN;
    case FL_Left: return VK_LEFT;
    case FL_Right: return VK_RIGHT;
    case FL_Home: return VK_HOME;
    case FL_End: return VK_END;
    case FL_Page_Up: return VK_PRIOR;
    case FL_Page_Down: return VK_NEXT;
  }
  return 0;
}

// Gives the window manager every decoded image of the big and the small icon (WM_SETICON; either may be
// null) as FLTK RGBA images, which the window copies.
void ApplyWindowIcons(Fl_Window *window, HICON big, HICON small) {
  std::vector<std::vector<unsigned char>> pixels;
  std::vector<std::unique_ptr<Fl_RGB_Image>> images;
  std::vector<const Fl_RGB_Image *> list;
  // Programs often give one handle for both sizes: its images are listed once.
  for (HICON icon : {big, small == big ? nullptr : small}) {
    const IconState *state = icon ? IconFromHandle(icon) : nullptr;
    for (const IconImage &image : state ? state->images : std::vector<IconImage>{}) {
      std::vector<unsigned char> rgba;
      for (uint32_t p : image.argb) {
        for (int shift : {16, 8, 0, 24}) rgba.push_back(static_cast<unsigned char>(p >> shift));  // R, G, B, A
      }
      pixels.push_back(std::move(rgba));
      images.push_back(std::make_unique<Fl_RGB_Image>(pixels.back().data(), image.width, image.height, 4));
      list.push_back(images.back().get());
    }
  }
  window->icons(list.data(), static_cast<int>(list.size()));
}

}  // namespace

DialogWindow::DialogWindow(HWND dialog)
    : Fl_Double_Window(Width(FindWindowState(dialog)->rect), Height(FindWindowState(dialog)->rect)), dialog_(dialog) {
  Window *model = FindWindowState(dialog);
  box(FL_FLAT_BOX);
  color(palette::kFace);
  for (HWND child : model->children) {
    std::unique_ptr<ControlWidget> widget = MakeControlWidget(child);
    if (!widget) continue;
    add(widget.get());
    byHandle_[child] = widget.get();
    widget->SyncPlacement();
    widgets_.push_back(std::move(widget));
  }
  end();
  // The window can be resized and maximised; the controls keep their places, more dialog face shows.
  resizable(nullptr);
  size_range(w(), h());
  callback(CloseBoxCallback, this);
  xclass("kelvorant");
  SyncDialog();
  lastFocus_ = GetFocus();
}

DialogWindow::~DialogWindow() {
  // The widgets are owned here, not by the group.
  for (auto &widget : widgets_) remove(widget.get());
}

void DialogWindow::Close() {
  closing_ = true;
  hide();
}

void DialogWindow::SyncDialog() {
  Window *model = FindWindowState(dialog_);
  if (!model) return;
  if (!label() || model->text != label()) copy_label(model->text.c_str());
  if (model->iconBig != iconBig_ || model->iconSmall != iconSmall_) {
    iconBig_ = model->iconBig;
    iconSmall_ = model->iconSmall;
    ApplyWindowIcons(this, iconBig_, iconSmall_);
  }
}

void DialogWindow::Invalidate(HWND hwnd) {
  if (painting_) return;  // what WM_PAINT changes is drawn in the same pass
  if (hwnd == dialog_) {
    SyncDialog();
    redraw();
  } else if (auto it = byHandle_.find(hwnd); it != byHandle_.end()) {
    it->second->SyncPlacement();
    it->second->redraw();
  }
  // The default ring follows the focus among push buttons.
  if (HWND focus = GetFocus(); focus != lastFocus_) {
    lastFocus_ = focus;
    for (auto &widget : widgets_)
      if (widget->IsPushButton()) widget->redraw();
  }
}

void DialogWindow::WindowDestroyed(HWND hwnd) {
  if (auto it = byHandle_.find(hwnd); it != byHandle_.end()) {
    it->second->Detach();
    byHandle_.erase(it);
    redraw();
  }
  if (hwnd == dialog_) dialog_ = nullptr;
}

void DialogWindow::draw() {
  // The dialog's own painting (OnPaint) runs when its face is drawn, as WM_PAINT follows an invalid area.
  if ((damage() & FL_DAMAGE_ALL) && dialog_ && !minimized_) {
    painting_ = true;
    SendMessageA(dialog_, WM_PAINT, 0, 0);
    painting_ = false;
  }
  Fl_Double_Window::draw();
}

int DialogWindow::handle(int event) {
  switch (event) {
    case FL_UNFOCUS:
      held_.clear();  // released elsewhere, if at all: their releases do not come here
      return 1;
    case FL_FOCUS:
      return 1;  // the window itself takes FLTK's focus, so that keys come here
    case FL_KEYBOARD:
    case FL_SHORTCUT: {
      // FL_SHORTCUT: a key that reached no focused widget (the window was never given the focus).
      if (!dialog_) return 1;
      if ((Fl::event_state() & FL_CTRL) && (Fl::event_key() == 'c' || Fl::event_key() == FL_Insert)) {
        CopySelection(GetFocus(), 1);  // when the focus is on an edit
        return 1;
      }
      if (Fl::event_state() & (FL_ALT | FL_META)) return 0;
      if (UINT vk = VirtualKeyFromFltk(Fl::event_key())) {
        const bool repeat = !held_.insert(vk).second;
        input::KeyDown(dialog_, vk, (Fl::event_state() & FL_SHIFT) != 0, repeat);
      }
      // Every key belongs to the dialog manager: FLTK's own navigation and Escape-closes stay out.
      return 1;
    }
    case FL_KEYUP:
      // A button pressed with Space clicks as the key comes up, once however long it was held.
      if (UINT vk = VirtualKeyFromFltk(Fl::event_key()); vk && held_.erase(vk) && dialog_) input::KeyUp(dialog_, vk);
      return 1;
    case FL_HIDE:
      // Unmapped by the window manager while still shown: minimised.
      if (!closing_ && dialog_ && shown() && !minimized_) {
        minimized_ = true;
        input::SetMinimized(dialog_, true);
      }
      return Fl_Double_Window::handle(event);
    case FL_SHOW:
      if (minimized_ && dialog_) {
        minimized_ = false;
        input::SetMinimized(dialog_, false);
        redraw();
      }
      return Fl_Double_Window::handle(event);
  }
  return Fl_Double_Window::handle(event);
}

void DialogWindow::CloseBoxCallback(Fl_Widget *, void *data) {
  auto *self = static_cast<DialogWindow *>(data);
  if (self->dialog_) input::CloseBox(self->dialog_);
}

}  // namespace kvplat::window
