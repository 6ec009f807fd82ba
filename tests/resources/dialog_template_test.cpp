// The main dialog's template as the dialog manager reads it, and the template reader on made-up and
// damaged bytes.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <random>

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

TEST_F(ProgramDialog, HeaderIsTheExtendedTemplateOfTheMainDialog) {
  DialogTemplate t;
  std::string error;
  ASSERT_TRUE(ParseDialogTemplate(data_, size_, &t, &error)) << error;
  EXPECT_TRUE(t.extended);
  EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                               WS_MAXIMIZEBOX | DS_SETFONT | DS_FIXEDSYS),
            t.style);
  EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), t.exStyle);
  EXPECT_EQ(0, t.x);
  EXPECT_EQ(0, t.y);
  EXPECT_EQ(428, t.cx);
  EXPECT_EQ(320, t.cy);
  EXPECT_EQ("kelvorant", t.title);
  EXPECT_EQ("", t.menu);
  EXPECT_EQ("", t.windowClass);
  EXPECT_EQ(8, t.pointSize);
  EXPECT_EQ("MS Shell Dlg", t.typeface);
  EXPECT_EQ(size_, kvplat::LoadedResourceSize(data_));
  EXPECT_EQ(0u, kvplat::LoadedResourceSize(data_ + 1));
}

struct ExpectedControl {
  int id;
  const char *className;
  const char *title;
  short x, y, cx, cy;
  DWORD style;  // besides WS_CHILD | WS_VISIBLE, which every control has
};

constexpr DWORD kList = LVS_REPORT | LVS_SINGLESEL | LVS_ALIGNLEFT | WS_BORDER | WS_TABSTOP;
constexpr DWORD kEdit = ES_READONLY | ES_AUTOHSCROLL | WS_BORDER;  // no tab stop

// Template order, which is the tab order.
const ExpectedControl kControls[] = {
    {IDOK, "Button", "Exit", 371, 137, 50, 21, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, "Button", "Uninstall driver", 317, 138, 50, 21, BS_PUSHBUTTON},
    {IDC_DEVICE_LIST, "SysListView32", "", 7, 7, 414, 128, kList | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER},
    {IDC_RESCAN_BUS, "Button", "Rescan bus", 261, 137, 50, 26, BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_REGISTER_LIST, "SysListView32", "", 7, 136, 249, 177, kList | LVS_AUTOARRANGE},
    {IDC_RELOAD1, "Button", "1", 363, 184, 57, 24, WS_TABSTOP},
    {IDC_RELOAD2, "Button", "2", 363, 210, 57, 24, WS_TABSTOP},
    {IDC_RELOAD3, "Button", "3", 363, 236, 57, 24, WS_TABSTOP},
    {IDC_RELOAD4, "Button", "4", 363, 263, 57, 24, WS_TABSTOP},
    {IDC_RELOAD5, "Button", "5", 363, 289, 57, 24, WS_TABSTOP},
    {IDC_SAVE1, "Button", "1", 266, 184, 34, 24, WS_TABSTOP},
    {IDC_SAVE2, "Button", "2", 266, 210, 34, 24, WS_TABSTOP},
    {IDC_SAVE3, "Button", "3", 266, 236, 34, 24, WS_TABSTOP},
    {IDC_SAVE4, "Button", "4", 266, 263, 34, 24, WS_TABSTOP},
    {IDC_SAVE5, "Button", "5", 266, 289, 34, 24, WS_TABSTOP},
    {IDC_SAVED_DEVICE1, "Edit", "", 315, 189, 35, 14, kEdit},
    {IDC_SAVED_DEVICE2, "Edit", "", 315, 215, 35, 14, kEdit},
    {IDC_SAVED_DEVICE3, "Edit", "", 315, 242, 35, 14, kEdit},
    {IDC_SAVED_DEVICE4, "Edit", "", 315, 268, 35, 14, kEdit},
    {IDC_SAVED_DEVICE5, "Edit", "", 315, 295, 35, 14, kEdit},
    {IDC_STATIC, "Button", "Save config", 260, 171, 47, 142, BS_GROUPBOX},
    {IDC_STATIC, "Button", "Saved device", 307, 171, 53, 142, BS_GROUPBOX},
    {IDC_STATIC, "Button", "Reload config", 361, 171, 60, 142, BS_GROUPBOX},
};

TEST_F(ProgramDialog, ControlsMatchTheControlTable) {
  DialogTemplate t;
  ASSERT_TRUE(ParseDialogTemplate(data_, size_, &t, nullptr));
  ASSERT_EQ(std::size(kControls), t.items.size());
  for (std::size_t i = 0; i < t.items.size(); ++i) {
    const kvplat::DialogItemTemplate &got = t.items[i];
    const ExpectedControl &want = kControls[i];
    SCOPED_TRACE("control " + std::to_string(i) + " \"" + want.title + "\" id " + std::to_string(want.id));
    EXPECT_EQ(want.id, got.id);
    // The resource compiler stores a class given by name in upper case; class names are not case-sensitive.
    EXPECT_STRCASEEQ(want.className, got.className.c_str());
    EXPECT_EQ(want.title, got.title);
    EXPECT_EQ(-1, got.titleOrdinal);
    EXPECT_EQ(want.x, got.x);
    EXPECT_EQ(want.y, got.y);
    EXPECT_EQ(want.cx, got.cx);
    EXPECT_EQ(want.cy, got.cy);
    EXPECT_EQ(want.style | WS_CHILD | WS_VISIBLE, got.style);
    EXPECT_EQ(0u, got.exStyle);
    EXPECT_TRUE(got.creationData.empty());
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

TEST_F(ProgramDialog, DamagedCopiesAreReadWithinTheirBounds) {
  // Run under AddressSanitizer, this proves that no damage makes the reader leave the buffer.
  std::mt19937 random(1234);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> copy(data_, data_ + size_);
    int flips = 1 + static_cast<int>(random() % 8);
    for (int f = 0; f < flips; ++f) copy[random() % copy.size()] = static_cast<uint8_t>(random());
    copy.resize(random() % (copy.size() + 1));
    // An exact-size heap block, so that one byte too far is caught.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[copy.size() + 1]);
    std::copy(copy.begin(), copy.end(), exact.get());
    DialogTemplate t;
    ParseDialogTemplate(exact.get(), copy.size(), &t, nullptr);
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
