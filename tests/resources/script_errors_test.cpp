// Scripts with mistakes: one diagnostic line naming the file and line, and no resources at all.
#include <gtest/gtest.h>
#include <windows.h>

#include "kvplat/resources.h"
#include "script_files.h"

namespace {

struct BadScript {
  const char *name;
  const char *script;      // as t.rc; the headers and icons of the test are beside it
  const char *diagnostic;  // the whole line, after "kelvorant: "
};

// Tests are listed by the case's name.
void PrintTo(const BadScript &c, std::ostream *os) { *os << c.name; }

const BadScript kBadScripts[] = {
    {"MissingComma", "1 DIALOGEX 0,0,10,10\nBEGIN\n  PUSHBUTTON \"a\" 1,2,3,4,5\nEND\n",
     "t.rc:3: expected ',', found '1'"},
    {"UndefinedSymbol", "\n1 DIALOGEX 0,0,10,10\nBEGIN\n  EDITTEXT IDC_NOPE,1,2,3,4\nEND\n",
     "t.rc:4: undefined symbol 'IDC_NOPE'"},
    {"UnterminatedString", "1 DIALOGEX 0,0,10,10\nCAPTION \"open\nBEGIN\nEND\n", "t.rc:2: unterminated string"},
    {"BadNumber", "1 DIALOGEX 0,0,12ab,10\nBEGIN\nEND\n", "t.rc:1: bad number '12ab'"},
    {"UnknownDirective", "\n\n#frobnicate\n", "t.rc:3: unknown directive #frobnicate"},
    {"EndifWithoutIf", "#endif\n", "t.rc:1: #endif without #if"},
    {"IfWithoutEndifInHeader", "#include \"bad.h\"\n", "bad.h:2: #if without #endif"},
    {"HeaderClosesTheScriptsIf", "#if 1\n#include \"closer.h\"\n#endif\n", "closer.h:1: #endif without #if"},
    {"MissingInclude", "#include \"missing.h\"\n", "t.rc:1: cannot open include file 'missing.h'"},
    {"FunctionLikeMacro", "#define SIZE(x) (x*2)\n1 DIALOGEX 0,0,SIZE(4),10\nBEGIN\nEND\n",
     "t.rc:2: function-like macro 'SIZE' is not supported"},
    {"MissingIconFile", "1 ICON \"res\\\\missing.ico\"\n", "t.rc:1: cannot find icon file 'res\\missing.ico'"},
    {"IconFileIsNoIcon", "\n1 ICON \"garbage.ico\"\n", "t.rc:2: garbage.ico: not an icon file"},
    {"UnsupportedType", "1 DIALOGEX 0,0,1,1\nBEGIN\nEND\n2 MENU\nBEGIN\nEND\n", "t.rc:4: unsupported resource type 'MENU'"},
    {"MissingEnd", "1 DIALOGEX 0,0,1,1\nBEGIN\n  LTEXT \"a\",1,2,3,4,5\n",
     "t.rc:3: expected a control or END, found the end of the script"},
    {"DuplicateResource", "1 DIALOG 0,0,1,1\nBEGIN\nEND\n1 DIALOG 0,0,2,2\nBEGIN\nEND\n", "t.rc:4: duplicate resource"},
    {"UnsupportedCodePage", "#pragma code_page(932)\n", "t.rc:1: code page 932 is not supported"},
};

class ScriptErrors : public testing::TestWithParam<BadScript> {
 protected:
  void TearDown() override { kvplat::RegisterModuleResources(nullptr); }
};

TEST_P(ScriptErrors, OneLineNamesTheFileAndLineAndNoResourceIsLeft) {
  ScriptFiles files;
  files.Add("t.rc", GetParam().script)
      .Add("bad.h", "#define A 1\n#if A\n")
      .Add("closer.h", "#endif\n")
      .Add("garbage.ico", "GIF89a garbage");
  files.Register();
  testing::internal::CaptureStderr();
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCE(1), RT_DIALOG);
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::string("kelvorant: ") + GetParam().diagnostic + "\n", diagnostics);
  EXPECT_FALSE(found);
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());
  // Compiled once: asking again says nothing more.
  testing::internal::CaptureStderr();
  FindResourceA(nullptr, MAKEINTRESOURCE(1), RT_ICON);
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptErrors, testing::ValuesIn(kBadScripts),
                         [](const testing::TestParamInfo<BadScript> &info) { return std::string(info.param.name); });

// Windows line ends, a header's C declarations and a script spread over includes still compile.
TEST(ScriptText, CarriageReturnsAndHeaderCodeAreAccepted) {
  ScriptFiles files;
  files.Add("ids.h", "#define IDD_X 7\r\nextern int ignored_by_rc;\r\n")
      .Add("t.rc", "#include \"ids.h\"\r\nIDD_X DIALOGEX 0, 0, 10, \\\r\n 10\r\nBEGIN\r\nEND\r\n");
  files.Register();
  EXPECT_TRUE(FindResourceA(nullptr, MAKEINTRESOURCE(7), RT_DIALOG));
  kvplat::RegisterModuleResources(nullptr);
}

}  // namespace
