// X11's headers define names (Window, None, Bool, Status) that clash with the Windows headers, so this
// file includes no Windows header.
#include "display.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/XKBlib.h>
#include <X11/Xresource.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "kvplat/diag.h"
#include "resolution.h"

namespace kvplat::window {

namespace {

// FLTK's warnings and errors (an X error, say) are the platform's diagnostics too: through Diag, as every
// line the platform writes to standard error, rather than FLTK's own fprintf.
void SayForFltk(const char *format, va_list args) {
  char text[kDiagLineBytes];
  std::vsnprintf(text, sizeof text, format, args);
  Diag("%s", text);
}

void FltkWarning(const char *format, ...) {
  va_list args;
  va_start(args, format);
  SayForFltk(format, args);
  va_end(args);
}

// The run cannot go on: it ends as one cut short does, its service removed (EndRunNow), with the status of
// a platform without a display.
[[noreturn]] void FltkFatal(const char *format, ...) {
  va_list args;
  va_start(args, format);
  SayForFltk(format, args);
  va_end(args);
  EndRunNow(kExitPlatformFailure);
}

// Xlib's answer to a connection that broke (the X server ended, or killed the window's client): its own
// handler exits the process at once, and the run would leave its service behind.
int DisplayLost(::Display *display) {
  Diag("the display %s is gone: the run ends", DisplayString(display));
  EndRunNow(kExitPlatformFailure);
}

}  // namespace

bool OpenDisplay(std::string *error) {
  Fl::warning = FltkWarning;
  Fl::error = FltkWarning;
  Fl::fatal = FltkFatal;
  const char *name = std::getenv("DISPLAY");
  if (!name || !*name) {
    *error = "DISPLAY is not set";
    return false;
  }
  ::Display *display = XOpenDisplay(nullptr);
  if (!display) {
    *error = std::string("cannot open display \"") + XDisplayName(nullptr) + "\"";
    return false;
  }
  fl_open_display(display);
  XSetIOErrorHandler(DisplayLost);
  // A key held down repeats its presses without releases between them, so that a repeat is told from a
  // new press (where the server cannot, each repeat is a press and a release, as before).
  XkbSetDetectableAutoRepeat(display, True, nullptr);
  return true;
}

namespace {

// Xft.dpi from the resources that the desktop (xrdb) put on the root window, when it is there.
std::optional<std::string> XftDpiResource(::Display *display) {
  const char *resources = XResourceManagerString(display);
  if (!resources) return std::nullopt;
  XrmInitialize();
  XrmDatabase database = XrmGetStringDatabase(resources);
  if (!database) return std::nullopt;
  std::optional<std::string> value;
  char *type = nullptr;
  XrmValue found{};
  if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &found) && found.addr)
    value = std::string(found.addr, found.size > 0 ? found.size - 1 : 0);
  XrmDestroyDatabase(database);
  return value;
}

}  // namespace

int DisplayResolution() {
  const int screen = DefaultScreen(fl_display);
  std::string complaint;
  int dpi = ChooseResolution(XftDpiResource(fl_display), DisplayWidth(fl_display, screen),
                             DisplayWidthMM(fl_display, screen), &complaint);
  if (!complaint.empty()) Diag("%s", complaint.c_str());
  return dpi;
}

}  // namespace kvplat::window
