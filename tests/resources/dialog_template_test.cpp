// The template reader on the main dialog as windres compiles it, whole and cut short, and on a made-up
// classic template. The section's bytes are compared with windres' .res in section_test.cpp; damaged bytes
// are the dialog_template fuzz target's.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "byte_writer.h"
#include "kvplat/resources.h"
#include "res_file.h"
#include "resource.h"

using kvplat::DialogTemplate;
using kvplat::ParseDialogTemplate;

namespace {

class ProgramDialog : public testing::Test {
 protected:
  void SetUp() override {
    kvplat::RegisterModuleResources(kv_embedded_resources);
    HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCE(IDD_MAIN_DIALOG), RT_DIALOG);
    ASSERT_TRUE(res) << GetLastError();
    data_ = static_cast<const uint8_t *>(LockResource(LoadResource(nullptr, res)));
    size_ = SizeofResource(nullptr, res);
  }
  void TearDown() override { kvplat::RegisterModuleResources(nullptr); }

  const uint8_t *data_ = nullptr;
  std::size_t size_ = 0;
};

// What the dialog manager builds the main window from: the header, and a control of each kind.
TEST_F(ProgramDialog, ReadsAsTheScriptDescribesIt) {
  DialogTemplate t;
  std::string error;
  ASSERT_TRUE(ParseDialogTemplate(data_, size_, &t, &error)) << error;
  EXPECT_TRUE(t.extended);
  EXPECT_EQ("kelvorant", t.title);
  EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), t.exStyle);
  EXPECT_EQ(static_cast<DWORD>(DS_SETFONT | DS_FIXEDSYS | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                               WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
            t.style);
  EXPECT_EQ(8, t.pointSize);
  EXPECT_EQ("MS Shell Dlg", t.typeface);
  EXPECT_EQ(428, t.cx);
  EXPECT_EQ(320, t.cy);
  ASSERT_EQ(23u, t.items.size());
  const struct {
    std::size_t index;
    int id;
    const char *className, *title;
    DWORD style;
    short x, y, cx, cy;
  } items[] = {
      {0, IDOK, "Button", "Exit", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 371, 137, 50, 21},
      {1, IDCANCEL, "Button", "Uninstall driver", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 317, 138, 50, 21},
      {2, IDC_DEVICE_LIST, "SYSLISTVIEW32", "",  // a class given by name is stored in upper case
       WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
           LVS_ALIGNLEFT | LVS_NOSORTHEADER,
       7, 7, 414, 128},
      {15, IDC_SAVED_DEVICE1, "Edit", "",
       WS_CHILD | WS_VISIBLE | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY, 315, 189, 35, 14},
      {22, -1, "Button", "Reload config", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 361, 171, 60, 142},
  };
  for (const auto &want : items) {
    const kvplat::DialogItemTemplate &item = t.items[want.index];
    SCOPED_TRACE(want.title);
    EXPECT_EQ(want.id, item.id);
    EXPECT_EQ(want.className, item.className);
    EXPECT_EQ(want.title, item.title);
    EXPECT_EQ(want.style, item.style);
    EXPECT_EQ(want.x, item.x);
    EXPECT_EQ(want.y, item.y);
    EXPECT_EQ(want.cx, item.cx);
    EXPECT_EQ(want.cy, item.cy);
  }
}

TEST_F(ProgramDialog, EveryTruncationIsRefused) {
  for (std::size_t n = 0; n < size_; ++n) {
    DialogTemplate t;
    std::string error;
    EXPECT_FALSE(ParseDialogTemplate(data_, n, &t, &error)) << n << " bytes";
    EXPECT_FALSE(error.empty());
  }
}

// A DLGTEMPLATE (not extended) with ordinals where names usually stand, an IDC_STATIC in its 16-bit id,
// creation data and text outside ASCII.
TEST(DialogTemplate, ReadsTheClassicFormWithOrdinalsAndCreationData) {
  ByteWriter w;
  w.U32(WS_POPUP | DS_SETFONT);
  w.U32(WS_EX_APPWINDOW);
  w.U16(3);  // items
  for (uint16_t v : {1, 2, 300, 200}) w.U16(v);
  w.U16(0xFFFF), w.U16(42);     // menu 42
  w.U16(0);                     // the dialog class
  w.String16(u"Caf\u00e9 \u4e2d");  // é exists in code page 1252, 中 does not
  w.U16(9), w.String16(u"Tahoma");
  const struct {
    uint16_t id, atom;
    bool ordinalTitle;
    std::vector<uint8_t> data;
  } items[] = {{0xFFFF, 0x82, true, {}}, {7, 0x83, false, {1, 2, 3}}, {8, 0x85, false, {}}};
  for (const auto &item : items) {
    w.AlignDword();
    w.U32(WS_CHILD), w.U32(0);
    for (uint16_t v : {10, 20, 30, 40}) w.U16(v);
    w.U16(item.id);
    w.U16(0xFFFF), w.U16(item.atom);
    if (item.ordinalTitle) {
      w.U16(0xFFFF), w.U16(128);
    } else {
      w.String16(u"t");
    }
    w.U16(static_cast<uint16_t>(item.data.size()));
    w.Bytes(item.data.data(), item.data.size());
  }
  std::vector<uint8_t> bytes = w.Take();

  DialogTemplate t;
  std::string error;
  ASSERT_TRUE(ParseDialogTemplate(bytes.data(), bytes.size(), &t, &error)) << error;
  EXPECT_FALSE(t.extended);
  EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), t.exStyle);
  EXPECT_EQ("Caf\xe9 ?", t.title);
  EXPECT_EQ(9, t.pointSize);
  EXPECT_EQ("Tahoma", t.typeface);
  EXPECT_EQ(300, t.cx);
  ASSERT_EQ(3u, t.items.size());
  EXPECT_EQ(-1, t.items[0].id);
  EXPECT_EQ("Static", t.items[0].className);
  EXPECT_EQ("", t.items[0].title) << "a title given by ordinal";
  EXPECT_EQ(7, t.items[1].id);
  EXPECT_EQ("ListBox", t.items[1].className);
  EXPECT_EQ("ComboBox", t.items[2].className);
  EXPECT_EQ("t", t.items[2].title);
  EXPECT_EQ(40, t.items[2].cy) << "after the creation data of the item before";

  // A dialog of a window class of its own is refused.
  std::vector<uint8_t> ownClass = bytes;
  ownClass[22] = ownClass[23] = 0xFF;  // the class: 0xFFFF and an ordinal
  EXPECT_FALSE(ParseDialogTemplate(ownClass.data(), ownClass.size(), &t, &error));
  EXPECT_EQ(error, "the dialog has a window class of its own");

  // A count that the bytes cannot hold is refused before anything is allocated for it.
  bytes[8] = 0xFF, bytes[9] = 0xFF;
  EXPECT_FALSE(ParseDialogTemplate(bytes.data(), bytes.size(), &t, &error));
  EXPECT_FALSE(ParseDialogTemplate(nullptr, 0, &t, &error));
}

}  // namespace
