// A front end shows the window manager's state and turns a person's or a script's input into the messages
// that Windows would send (kvplat::input below). Exactly one is active: the window front end (FLTK) or the
// headless one. Text metrics come from it, since they depend on the font it draws with.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace kvplat {

inline constexpr int kDefaultDpi = 96;

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  // Pixel width of a text in the dialog font, and the dialog font's base units (average character width,
  // line height), from which dialog units are converted.
  virtual int TextWidth(std::string_view text) = 0;
  virtual int BaseUnitX() = 0;
  virtual int BaseUnitY() = 0;
  // The resolution the front end draws at, in dots per inch (LOGPIXELSX). The system metrics and the common
  // controls' margins, given for 96 dpi, grow with it as they do for a DPI-aware Windows program.
  virtual int Dpi() { return kDefaultDpi; }
  // The font of a dialog about to be laid out: the typeface its template names (after DialogTypeface) and
  // its size in points. Text widths and base units are asked afterwards; a front end that draws with real
  // fonts takes them from this one. The headless metrics do not depend on it.
  virtual void UseDialogFont(const std::string & /*typeface*/, int /*points*/) {}

  // The modal loop of a dialog that has just been created and initialised: shows it and delivers input
  // until EndDialog has been called for it (IsDialogEnded).
  virtual void RunModalLoop(HWND dialog) = 0;

  // A modal message box with its one button, OK (MessageBoxA); returns once it is answered. Owner may be null.
  virtual void ShowMessageBox(HWND owner, const std::string &text, const std::string &caption, UINT type) = 0;

  // The state of a window changed: repaint it when convenient. Windows whose redraw is off are not told.
  virtual void Invalidate(HWND) {}
  // A window is about to go away.
  virtual void WindowDestroyed(HWND) {}

  // Whether the front end failed to do what it was asked (a script error); the process then exits with 3.
  virtual bool Failed() { return false; }
};

// The active front end: the run sets one before the program starts (tests their own). Setting one returns
// the one it replaces.
FrontEnd &ActiveFrontEnd();
FrontEnd *SetActiveFrontEnd(FrontEnd *frontEnd);

// A length given in pixels at 96 dpi, at the active front end's resolution (rounded, as MulDiv).
int ScaleForDpi(int pixelsAt96);

// Text metrics of the headless front end, fixed so that results do not depend on fonts.
constexpr int kHeadlessCharWidth = 6;
constexpr int kHeadlessLineHeight = 13;

}  // namespace kvplat

// Input as Windows delivers it: front ends call these for a person's mouse and keyboard, the headless front
// end for its script. Each produces the messages and notifications of the real system, synchronously.
namespace kvplat::input {

// A mouse click on a control that is not a list view: the control takes the focus; a push button then
// reports BN_CLICKED to its parent. False, with nothing sent, when the control has no area to click.
bool Click(HWND control);

// A mouse click on row `row` (column `column`) of a list view, scrolled into view first, or below its last
// row, scrolled to the end first. False, with nothing sent, when there is no such point: no such row or
// column, a list too short to show a row, no space below the rows.
bool ClickListRow(HWND list, int row, int column);
bool ClickListEmpty(HWND list);

// A key pressed while `dialog` is active, as a keyboard gives it: the dialog manager acts on the press (Tab,
// Shift+Tab, Enter, Escape, and arrow keys that the focused control leaves to it), the focused control gets
// the rest, the release of every key among them; `repeat` is the press of a key held down. Key is a press
// and its release, as the script's `key`.
void KeyDown(HWND dialog, UINT vk, bool shift, bool repeat);
void KeyUp(HWND dialog, UINT vk);
void Key(HWND dialog, UINT vk, bool shift = false);

// The close box of a top-level window.
void CloseBox(HWND window);

// The window was minimised or restored by the window manager.
void SetMinimized(HWND window, bool minimized);

}  // namespace kvplat::input
