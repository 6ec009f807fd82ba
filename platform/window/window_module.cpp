// The window front end as a module of its own, next to the program: start-up loads it only when a window
// is asked for, so that a headless run maps neither FLTK nor the X libraries. The module takes the
// platform's own functions and state from the program, which exports them.
#include "window_frontend.h"

extern "C" __attribute__((visibility("default"))) kvplat::FrontEnd *kv_make_window_frontend(std::string *error) {
  return kvplat::MakeWindowFrontEnd(error).release();
}
