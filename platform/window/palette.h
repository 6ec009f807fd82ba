// The system colours that Windows 7 gives dialogs and common controls (GetSysColor), as FLTK colours.
#pragma once
#include <FL/Enumerations.H>

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
