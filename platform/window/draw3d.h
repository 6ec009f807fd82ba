// The drawing primitives of classic Windows controls, in FLTK's current drawing context: 3D edges as
// DrawEdge draws them, the dotted focus rectangle, single-line text clipped with an ellipsis, push buttons.
#pragma once
#include <FL/Enumerations.H>

#include <string>
#include <string_view>

namespace kvplat::window {

enum class Edge {
  Raised,  // EDGE_RAISED: push buttons, header items, scroll bar buttons
  Sunken,  // EDGE_SUNKEN: client edges
  Etched,  // EDGE_ETCHED: group box frames
};

// Draws the two-pixel edge of the rectangle x, y, w, h (nothing inside it).
void DrawEdge(int x, int y, int w, int h, Edge edge);

// A one-pixel rectangle outline.
void DrawFrame(int x, int y, int w, int h, Fl_Color color);

// The dotted focus rectangle (every other pixel), as DrawFocusRect.
void DrawFocusRect(int x, int y, int w, int h);

// The text as it fits `width` pixels: whole, or cut with "..." appended (DT_END_ELLIPSIS).
std::string FitText(std::string_view text, int width);

// Draws one line of text with its top-left corner at x, y in the dialog font (baseline from the font's
// ascent), clipped to `width` with an ellipsis; false when the ellipsis cut it.
bool DrawTextLine(std::string_view text, int x, int y, int width, Fl_Color color);

// The look of a push button, the dialog's and the message box's.
struct ButtonLook {
  bool ring = false;     // the default button's dark outline
  bool pushed = false;   // held down
  bool focused = false;  // the dotted focus rectangle
};

// Draws the button; false when its caption does not fit inside the edge (the button's clip cuts it).
bool DrawPushButton(int x, int y, int w, int h, std::string_view text, const ButtonLook &look);

// The dialog font: selects it for fl_draw and fl_width.
void SelectDialogFont();

}  // namespace kvplat::window

// The system colours that Windows 7 gives dialogs and common controls (GetSysColor), as FLTK colours.
namespace kvplat::window::palette {

inline const Fl_Color kFace = fl_rgb_color(240, 240, 240);        // COLOR_3DFACE: dialog and button face
inline const Fl_Color kLight = fl_rgb_color(227, 227, 227);       // COLOR_3DLIGHT
inline const Fl_Color kHighlight = fl_rgb_color(255, 255, 255);   // COLOR_3DHILIGHT
inline const Fl_Color kShadow = fl_rgb_color(160, 160, 160);      // COLOR_3DSHADOW
inline const Fl_Color kDarkShadow = fl_rgb_color(105, 105, 105);  // COLOR_3DDKSHADOW
inline const Fl_Color kFrame = fl_rgb_color(100, 100, 100);       // COLOR_WINDOWFRAME: WS_BORDER, default ring
inline const Fl_Color kWindow = fl_rgb_color(255, 255, 255);      // COLOR_WINDOW
inline const Fl_Color kText = fl_rgb_color(0, 0, 0);              // COLOR_WINDOWTEXT, COLOR_BTNTEXT
inline const Fl_Color kSelection = fl_rgb_color(51, 153, 255);    // COLOR_HIGHLIGHT
inline const Fl_Color kSelectionText = fl_rgb_color(255, 255, 255);
// A selection shown without the focus (LVS_SHOWSELALWAYS): a grey bar with the normal text colour.
inline const Fl_Color kInactiveSelection = fl_rgb_color(217, 217, 217);
inline const Fl_Color kScrollTrack = fl_rgb_color(245, 245, 245);

}  // namespace kvplat::window::palette
