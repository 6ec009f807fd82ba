// The platform's resource compiler against the GNU resource compiler: for the program's own script and
// for scripts that exercise the statements, options and preprocessor features that a wizard-written
// script uses, every resource must come out byte for byte the same.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "res_file.h"
#include "rsrc/rc_script.h"
#include "script_files.h"

using kvplat::rsrc::CompileScript;
using kvplat::rsrc::ResId;
using kvplat::rsrc::Resource;
using kvplat::rsrc::ScriptFile;

namespace {

std::string HexAround(const std::vector<uint8_t> &data, std::size_t at) {
  std::string s;
  char buf[8];
  for (std::size_t i = at > 8 ? at - 8 : 0; i < data.size() && i < at + 8; ++i) {
    std::snprintf(buf, sizeof buf, i == at ? "[%02x]" : " %02x", data[i]);
    s += buf;
  }
  return s;
}

void ExpectSameResources(const std::vector<Resource> &expected, const std::vector<Resource> &actual) {
  EXPECT_EQ(expected.size(), actual.size()) << "number of resources";
  for (const Resource &want : expected) {
    const Resource *got = nullptr;
    for (const Resource &r : actual) {
      if (r.type == want.type && r.name == want.name && r.language == want.language) got = &r;
    }
    std::string what = "type " + Describe(want.type) + " name " + Describe(want.name);
    if (!got) {
      ADD_FAILURE() << "missing resource " << what;
      continue;
    }
    if (got->data == want.data) continue;
    std::size_t at = 0;
    while (at < want.data.size() && at < got->data.size() && want.data[at] == got->data[at]) ++at;
    ADD_FAILURE() << what << ": " << got->data.size() << " bytes, windres " << want.data.size()
                  << "; first difference at offset " << at << "\n  ours:   " << HexAround(got->data, at)
                  << "\n  windres:" << HexAround(want.data, at);
  }
}

const Resource *FindCompiled(const std::vector<Resource> &all, uint16_t type, uint16_t name) {
  for (const Resource &r : all) {
    if (r.type == ResId::Ordinal(type) && r.name == ResId::Ordinal(name)) return &r;
  }
  return nullptr;
}

TEST(Windres, ProgramScriptCompilesToTheSameResources) {
  if (!WindresAvailable()) GTEST_SKIP() << "x86_64-w64-mingw32-windres is not installed";
  std::vector<Resource> expected, actual;
  std::string error;
  ASSERT_TRUE(RunWindres(std::string(KV_SOURCE_DIR) + "/res/kelvorant.rc", {std::string(KV_SOURCE_DIR) + "/ui"},
                         &expected, &error))
      << error;
  ScriptFiles program = ScriptFiles::Program();
  std::vector<ScriptFile> files;
  for (const kvplat::EmbeddedFile *f = program.Table(); f->name; ++f) {
    files.push_back({f->name, std::string(reinterpret_cast<const char *>(f->data), f->size)});
  }
  ASSERT_TRUE(CompileScript(files, &actual, &error)) << error;

  // The resources the program relies on are all there: dialog 102, icon group 128 with its nine images,
  // and the version.
  EXPECT_TRUE(FindCompiled(actual, 5, 102));
  EXPECT_TRUE(FindCompiled(actual, 14, 128));
  EXPECT_TRUE(FindCompiled(actual, 16, 1));
  for (uint16_t icon = 1; icon <= 9; ++icon) EXPECT_TRUE(FindCompiled(actual, 3, icon)) << "RT_ICON " << icon;
  ExpectSameResources(expected, actual);
}

struct ScriptCase {
  const char *name;
  std::vector<ScriptFile> files;  // the first is the script
};

// Tests are listed by the case's name.
void PrintTo(const ScriptCase &c, std::ostream *os) { *os << c.name; }

// Scripts for both compilers. They include the SDK headers for windres; the platform's compiler knows
// those constants itself.
std::vector<ScriptCase> Cases() {
  const std::string sdk = "#include <windows.h>\n#include <commctrl.h>\n#include <winres.h>\n";
  std::string icon = ReadSourceFile("res/kelvorant.ico");
  return {
      {"ClassicDialogAndEveryControlKind",
       {{"t.rc", sdk + R"(
mydlg DIALOG DISCARDABLE 10+5*2, (3|4), ~0 & 0xFF, 50
CAPTION "Old" "Style"
STYLE (DS_MODALFRAME | DS_3DLOOK) | WS_POPUP | NOT WS_SYSMENU
FONT 8, "MS Sans Serif"
MENU 5
CLASS "MyClass"
BEGIN
    DEFPUSHBUTTON   "OK",IDOK,7,7,50,14,WS_GROUP
    PUSHBUTTON      "Cancel",IDCANCEL,7,24,50,14
    CONTROL         "b",10,"Button",BS_AUTOCHECKBOX | WS_TABSTOP,1,2,3,4
    CONTROL         "e",11,"edit",0,1,2,3,4,WS_EX_CLIENTEDGE
    CONTROL         7,12,"Static",SS_ICON,1,2,3,4
    CONTROL         "x",18,0x80,0,1,2,3,4
    LTEXT           "Left",13,1,2,3,4,NOT WS_GROUP
    LTEXT           "Plain",14,1,2,3,4
    RTEXT           "Right",IDC_STATIC,1,2,3,4
    CTEXT           "c",17,1,2,3,4,WS_TABSTOP,WS_EX_STATICEDGE
    ICON            7,15,1,2
    ICON            "ab",16,1,2,3,4
    GROUPBOX        "Group",-1,1,2,3,4
    CHECKBOX        "Check",20,1,2,3,4
    AUTOCHECKBOX    "Auto",21,1,2,3,4,NOT WS_TABSTOP
    RADIOBUTTON     "R",22,1,2,3,4
    AUTORADIOBUTTON "AR",23,1,2,3,4,WS_GROUP
    STATE3          "S3",24,1,2,3,4
    AUTO3STATE      "A3",25,1,2,3,4
    EDITTEXT        26,1,2,3,4,ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL
END
)"}}},
      {"ExtendedDialogOptions",
       {{"t.rc", sdk + R"(
LANGUAGE LANG_GERMAN, SUBLANG_GERMAN
100 DIALOGEX 0, 0, 200, 100, 77
EXSTYLE WS_EX_TOPMOST
CAPTION "Say ""hi""\tnow"
FONT 9, "Tahoma", 700, 1, 0
STYLE DS_SETFONT | DS_FIXEDSYS | WS_CHILD
LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK
BEGIN
    CONTROL         "",1000,"SysListView32",LVS_REPORT | WS_BORDER | WS_TABSTOP,7,7,186,50,0,1234
    PUSHBUTTON      "Help",9,7,60,50,14,0,0,4321
    EDITTEXT        1001,7,80,50,12,ES_AUTOHSCROLL | ES_READONLY | NOT WS_TABSTOP
END
101 DIALOGEX 1, 2, 3, 4
FONT 8, "MS Shell Dlg"
BEGIN
END
)"}}},
      {"VersionInfoVariants",
       {{"t.rc", sdk + R"(
VS_VERSION_INFO VERSIONINFO
 FILEVERSION 2,1
 PRODUCTVERSION 3,4,5,0x10006
 FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
 FILEFLAGS VS_FF_PRERELEASE|VS_FF_DEBUG
 FILEOS VOS_NT_WINDOWS32
 FILETYPE VFT_DLL
 FILESUBTYPE VFT2_UNKNOWN
BEGIN
    BLOCK "StringFileInfo"
    BEGIN
        BLOCK "040904b0"
        BEGIN
            VALUE "Comments", "odd"
            VALUE "CompanyName", "even"
            VALUE "Empty", ""
        END
        BLOCK "040704e4"
        BEGIN
            VALUE "ProductName", "Produkt " "Name"
        END
    END
    BLOCK "VarFileInfo"
    BEGIN
        VALUE "Translation", 0x409, 1200, 0x407, 1252
    END
END
2 VERSIONINFO
BEGIN
    BLOCK "StringFileInfo"
    BEGIN
    END
END
)"}}},
      {"PreprocessorFeatures",
       {{"t.rc", sdk + R"(#include "ids.h"
#define WIDTH (BASE_WIDTH + \
               10)
#if defined(USE_BIG) && USE_BIG > 1
#define HEIGHT 200
#elif !defined(NOT_DEFINED) || 0
#define HEIGHT 150 /* the usual height */
#else
#define HEIGHT 100
#endif
#ifndef IDC_STATIC
#error no IDC_STATIC
#endif
#define TEMPORARY 1
#undef TEMPORARY
#ifdef TEMPORARY
this line is never read "
#endif
IDD_SAMPLE DIALOGEX 0, 0, WIDTH, HEIGHT  // a comment
STYLE WS_POPUP /* one
                  over several lines */ | WS_CAPTION
BEGIN
    LTEXT  LABEL_TEXT, IDC_LABEL, 1, 2, 3, 4
END
)"},
        {"ids.h", "#define IDD_SAMPLE 300\n#define IDC_LABEL 301\n#define BASE_WIDTH 90\n#define USE_BIG 2\n"
                  "#define LABEL_TEXT \"Label\"\nint this_is_c_code;\n"}}},
      {"TwoIconsNumberTheirImagesOnward",
       {{"t.rc", sdk + "1 ICON \"a.ico\"\nLANGUAGE 7, 1\nMAINICON ICON DISCARDABLE \"b.ico\"\n"},
        {"a.ico", icon},
        {"b.ico", icon}}},
      {"CodePages",
       {{"t.rc", sdk + "#pragma code_page(1252)\n1 DIALOGEX 0,0,10,10\nCAPTION \"caf\xe9 \x80\"\nBEGIN\nEND\n"
                       "#pragma code_page(65001)\n2 DIALOGEX 0,0,10,10\nCAPTION \"Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac\"\n"
                       "BEGIN\nEND\n"}}},
  };
}

class WindresScripts : public testing::TestWithParam<ScriptCase> {};

TEST_P(WindresScripts, CompileToTheSameResources) {
  if (!WindresAvailable()) GTEST_SKIP() << "x86_64-w64-mingw32-windres is not installed";
  const ScriptCase &c = GetParam();
  char dir[] = "/tmp/kv-scripts-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  for (const ScriptFile &f : c.files) std::ofstream(std::string(dir) + "/" + f.name, std::ios::binary) << f.content;
  std::vector<Resource> expected, actual;
  std::string error;
  bool ran = RunWindres(std::string(dir) + "/" + c.files[0].name, {dir}, &expected, &error);
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  ASSERT_TRUE(ran) << error;
  ASSERT_TRUE(CompileScript(c.files, &actual, &error)) << error;
  ExpectSameResources(expected, actual);
}

INSTANTIATE_TEST_SUITE_P(Scripts, WindresScripts, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<ScriptCase> &info) { return std::string(info.param.name); });

}  // namespace
