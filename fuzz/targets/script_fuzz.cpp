// The automation script (KELVORANT_UI_SCRIPT): any text as the script, parsed, then performed by the
// headless front end on a dialog of the tests' resources (test_dialogs.rc, 220) whose procedure changes its
// controls as a program does (refills lists, disables, hides and destroys controls, shows message boxes).
// `machine` commands go to the demo machine's test port, as the driver would hand them; `sleep` waits for
// nothing.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/machine_choice.h"
#include "diag_lines.h"
#include "fuzz_check.h"
#include "headless.h"
#include "kvplat/resources.h"
#include "kvplat/window.h"
#include "script.h"

extern const kvplat::EmbeddedFile kv_test_dialogs[];

namespace {

constexpr int kScriptDialog = 220;
enum : int { kRows = 1000, kEmptyList = 1001, kEdit = 1002, kReadOnly = 1003, kBox = 1004, kRefill = 1005,
             kDisabled = 1006, kHidden = 1007, kTooShort = 1009 };

void FillList(HWND list, int rows) {
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  for (int row = 0; row < rows; ++row) {
    std::string text = "row " + std::to_string(row);
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = text.data();
    item.lParam = row;
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
}

void AddColumn(HWND list, const char *title) {
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.cx = 60;
  column.pszText = const_cast<char *>(title);
  SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
}

// A control disabled or enabled through its style (the program itself never disables one).
void SetEnabled(HWND control, bool enabled) {
  if (kvplat::Window *w = kvplat::FindWindowState(control))
    w->style = enabled ? w->style & ~WS_DISABLED : w->style | WS_DISABLED;
}

INT_PTR CALLBACK ScriptDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static int refills = 0;
  switch (message) {
    case WM_INITDIALOG:
      refills = 0;
      AddColumn(GetDlgItem(dialog, kRows), "Row");
      AddColumn(GetDlgItem(dialog, kEmptyList), "Nothing");
      AddColumn(GetDlgItem(dialog, kTooShort), "Hidden rows");
      FillList(GetDlgItem(dialog, kRows), 30);
      FillList(GetDlgItem(dialog, kTooShort), 3);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, LOWORD(wParam));
          return TRUE;
        case kBox:
          MessageBoxA(dialog, "Swapped", "script", MB_OK);
          SetEnabled(GetDlgItem(dialog, kDisabled), !IsWindowEnabled(GetDlgItem(dialog, kDisabled)));
          ShowWindow(GetDlgItem(dialog, kHidden), IsWindowVisible(GetDlgItem(dialog, kHidden)) ? SW_HIDE : SW_SHOW);
          return TRUE;
        case kRefill:
          FillList(GetDlgItem(dialog, kRows), (++refills % 3) * 7);
          FillList(GetDlgItem(dialog, kEmptyList), refills % 2);
          return TRUE;
        case kDisabled:
        case kHidden:
          // A control that goes away while its click is being delivered.
          DestroyWindow(GetDlgItem(dialog, kEdit));
          return TRUE;
      }
      return FALSE;
    case WM_NOTIFY: {
      const auto *header = reinterpret_cast<const NMHDR *>(lParam);
      if (header->idFrom == kRows && header->code == LVN_ITEMCHANGED) {
        const auto *change = reinterpret_cast<const NMLISTVIEW *>(lParam);
        if (change->uNewState & LVIS_SELECTED) SetWindowTextA(GetDlgItem(dialog, kReadOnly), std::to_string(change->iItem).c_str());
        // The focused list disabled under the change that reached it (a key to its last row, say).
        if (change->iItem == 29 && (change->uNewState & LVIS_FOCUSED)) SetEnabled(GetDlgItem(dialog, kRows), false);
      } else if (header->idFrom == kEmptyList && header->code == NM_CLICK) {
        DestroyWindow(header->hwndFrom);
      }
      return FALSE;
    }
  }
  return FALSE;
}

// What must hold for every action the parser gives, whatever the text.
void CheckActions(const std::vector<kvplat::script::Action> &actions) {
  using kvplat::script::Verb;
  int line = 0;
  long long slept = 0;
  for (const auto &a : actions) {
    FUZZ_CHECK(a.line > line);
    line = a.line;
    if (a.verb == Verb::Sleep) FUZZ_CHECK((slept += a.milliseconds) <= 600000);
    FUZZ_CHECK((a.verb == Verb::Invalid) == !a.error.empty());
    FUZZ_CHECK(a.id >= 0 && a.id <= 0xFFFF && a.row >= 0 && a.milliseconds >= 0 && a.milliseconds <= 600000);
    if (a.verb == Verb::Key) FUZZ_CHECK(a.key != 0);
    if (a.verb != Verb::Machine) continue;
    FUZZ_CHECK(!a.machine.empty() && a.machine.front() != ' ' && a.machine.back() != ' ');
    for (char c : a.machine) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
  }
}

// Every diagnostic line reaches a terminal with no control in it but its line end, whatever the script
// held; kept out of the fuzzer's log.
void CheckDiagnostic(const std::string &line) {
  FUZZ_CHECK(line.starts_with("kelvorant: ") && line.ends_with("\n"));
  for (size_t i = 0; i + 1 < line.size(); ++i)
    FUZZ_CHECK(static_cast<unsigned char>(line[i]) >= 0x20 && line[i] != 0x7F);
}

std::FILE *NullOutput() {
  static std::FILE *out = std::fopen("/dev/null", "w");
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string script(reinterpret_cast<const char *>(data), size);
  CheckActions(kvplat::script::Parse(script));

  kvtest::SetDiagSink(CheckDiagnostic);
  kvplat::RegisterModuleResources(kv_test_dialogs);
  static const auto *dialog = static_cast<LPCDLGTEMPLATEA>(
      LockResource(LoadResource(nullptr, FindResourceA(nullptr, MAKEINTRESOURCE(kScriptDialog), RT_DIALOG))));
  FUZZ_CHECK(dialog != nullptr);
  InitCommonControls();

  std::unique_ptr<kvsys::SimMachine> machine = kvsys::LoadDemoMachine(0);
  kvplat::ScriptSurroundings surroundings{
      [](int) {},
      [&machine](const std::string &command, std::string *why) { return machine->Control(command, why); }};
  std::unique_ptr<kvplat::FrontEnd> frontEnd =
      kvplat::MakeHeadlessFrontEnd(script, NullOutput(), "/dev/null", false, std::move(surroundings));
  kvplat::SetActiveFrontEnd(frontEnd.get());
  DialogBoxIndirectParamA(nullptr, dialog, nullptr, ScriptDialogProc, 0);
  frontEnd->Failed();
  kvplat::SetActiveFrontEnd(nullptr);
  return 0;
}
