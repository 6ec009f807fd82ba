// The template reader on the main dialog cut short and on a made-up classic template. What the main dialog's
// template holds is compared byte for byte with the GNU resource compiler's (windres_test.cpp) and shown end
// to end; damaged bytes are the dialog_template fuzz target's.
#include <gtest/gtest.h>
#include <windows.h>

#include "kvplat/dlgtemplate.h"
#include "kvplat/resources.h"
#include "resource.h"
#include "rsrc/bytes.h"
#include "script_files.h"

using kvplat::DialogTemplate;
using kvplat::ParseDialogTemplate;

namespace {

class ProgramDialog : public testing::Test {
 protected:
  void SetUp() override {
    files_.Register();
    HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCE(IDD_MAIN_DIALOG), RT_DIALOG);
    ASSERT_TRUE(res) << GetLastError();
    data_ = static_cast<const uint8_t *>(LockResource(LoadResource(nullptr, res)));
    size_ = SizeofResource(nullptr, res);
  }
  void TearDown() override { kvplat::RegisterModuleResources(nullptr); }

  ScriptFiles files_ = ScriptFiles::Program();
  const uint8_t *data_ = nullptr;
  std::size_t size_ = 0;
};

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
  kvplat::rsrc::ByteWriter w;
  w.U32(WS_POPUP | DS_SETFONT);
  w.U32(WS_EX_TOPMOST);
  w.U16(3);  // items
  for (uint16_t v : {1, 2, 300, 200}) w.U16(v);
  w.U16(0xFFFF), w.U16(42);     // menu 42
  w.String16(u"MyClass");       // window class
  w.String16(u"Caf\u00e9 \u20ac \u4e2d");  // é and € exist in code page 1252, 中 does not
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
  EXPECT_EQ(static_cast<DWORD>(WS_EX_TOPMOST), t.exStyle);
  EXPECT_EQ("#42", t.menu);
  EXPECT_EQ("MyClass", t.windowClass);
  EXPECT_EQ("Caf\xe9 \x80 ?", t.title);
  EXPECT_EQ(9, t.pointSize);
  EXPECT_EQ("Tahoma", t.typeface);
  EXPECT_EQ(300, t.cx);
  ASSERT_EQ(3u, t.items.size());
  EXPECT_EQ(-1, t.items[0].id);
  EXPECT_EQ("Static", t.items[0].className);
  EXPECT_EQ(128, t.items[0].titleOrdinal);
  EXPECT_EQ("", t.items[0].title);
  EXPECT_EQ(7, t.items[1].id);
  EXPECT_EQ("ListBox", t.items[1].className);
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), t.items[1].creationData);
  EXPECT_EQ("ComboBox", t.items[2].className);
  EXPECT_EQ("t", t.items[2].title);
  EXPECT_EQ(40, t.items[2].cy);

  // A count that the bytes cannot hold is refused before anything is allocated for it.
  bytes[8] = 0xFF, bytes[9] = 0xFF;
  EXPECT_FALSE(ParseDialogTemplate(bytes.data(), bytes.size(), &t, &error));
  EXPECT_FALSE(ParseDialogTemplate(nullptr, 0, &t, &error));
}

}  // namespace
