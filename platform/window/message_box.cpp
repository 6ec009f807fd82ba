#include "message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>

#include "dialog_font.h"
#include "kvplat/diag.h"

namespace kvplat::window {

namespace {

// A termination signal answers the box, as the headless front end answers every box, so that the dialog
// behind it can close. (FLTK calls this before each wait; the signal wakes the wait.)
void AnswerOnTermination(void *) {
  if (TerminationRequested() && Fl::modal()) Fl::modal()->hide();
}

}  // namespace

void RunMessageBox(const std::string &text, const std::string &caption) {
  fl_close = "OK";
  fl_message_title(caption.c_str());
  fl_message_font(DialogFontFace(), DialogFontSize());
  Fl::add_check(AnswerOnTermination);
  fl_message("%s", text.c_str());
  Fl::remove_check(AnswerOnTermination);
}

}  // namespace kvplat::window
