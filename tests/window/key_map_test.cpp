// FLTK keys reach the dialog manager as the virtual keys Windows would report.
#include <gtest/gtest.h>

#include <FL/Enumerations.H>

#include "key_map.h"

namespace {

struct KeyCase {
  int fltk;
  UINT vk;
};

TEST(KeyMap, KeysOfTheDialogManagerAndTheControls) {
  const KeyCase cases[] = {
      {FL_Enter, VK_RETURN}, {FL_KP_Enter, VK_RETURN}, {FL_Escape, VK_ESCAPE}, {FL_Tab, VK_TAB},
      {' ', VK_SPACE},       {FL_Up, VK_UP},           {FL_Down, VK_DOWN},     {FL_Left, VK_LEFT},
      {FL_Right, VK_RIGHT},  {FL_Home, VK_HOME},       {FL_End, VK_END},       {FL_Page_Up, VK_PRIOR},
      {FL_Page_Down, VK_NEXT},
  };
  for (const KeyCase &c : cases) EXPECT_EQ(kvplat::window::VirtualKeyFromFltk(c.fltk), c.vk) << "FLTK key " << c.fltk;
}

TEST(KeyMap, OtherKeysAreNotDelivered) {
  for (int key : {int{'a'}, int{'c'}, int{'1'}, FL_F + 1, FL_Shift_L, FL_Control_L, FL_Insert, FL_Delete, FL_BackSpace})
    EXPECT_EQ(kvplat::window::VirtualKeyFromFltk(key), 0u) << "FLTK key " << key;
}

}  // namespace
