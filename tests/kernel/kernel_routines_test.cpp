// The routines a driver imports from the kernel, called as a driver calls them: files, the service key's
// values from KELVORANT_MACHINE and KELVORANT_TRACE, string conversions, mutexes, debug output and the
// platform's diagnostics it goes to, security descriptors.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <ddk/ntifs.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kvplat/kernel.h"
#include "kvplat/diag.h"
#include "test_support.h"

namespace {

using Kind = kvplat::MachineVariable::Kind;

UNICODE_STRING Counted(std::u16string &text) {
  UNICODE_STRING s;
  s.Buffer = text.data();
  s.Length = s.MaximumLength = static_cast<USHORT>(text.size() * sizeof(char16_t));
  return s;
}

// Opens `path` as a driver does, for reading or (FILE_APPEND_DATA) for appending; returns the status, and
// in *information whether the file was opened or made.
NTSTATUS Open(const std::string &path, HANDLE *handle, ACCESS_MASK access = GENERIC_READ,
              ULONG_PTR *information = nullptr) {
  std::u16string name = u"\\??\\";
  for (char c : path) name += static_cast<char16_t>(static_cast<unsigned char>(c));
  UNICODE_STRING object = Counted(name);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
  IO_STATUS_BLOCK io;
  const ULONG disposition = access == FILE_APPEND_DATA ? FILE_OPEN_IF : FILE_OPEN;
  const NTSTATUS status = ZwCreateFile(handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                                       FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (information) *information = io.Information;
  return status;
}

NTSTATUS Write(HANDLE handle, const std::string &text) {
  IO_STATUS_BLOCK io;
  LARGE_INTEGER start;
  start.QuadPart = 0;  // ignored: a file opened for appending alone is written at its end
  return ZwWriteFile(handle, nullptr, nullptr, nullptr, &io, const_cast<char *>(text.data()),
                     static_cast<ULONG>(text.size()), &start, nullptr);
}

TEST(KernelFiles, OnlyARegularFileOpensAndOthersSayWhatTheyAre) {
  kvtest::TempDir dir;
  kvtest::WriteText(dir / "file", "0123456789");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const int s = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, (dir / "socket").c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  symlink((dir / "fifo").c_str(), (dir / "link-to-fifo").c_str());
  struct Case { std::string path; NTSTATUS status; } cases[] = {
      {dir / "file", STATUS_SUCCESS},
      {dir.path() + "\\file", STATUS_SUCCESS},  // Win32 separators
      {dir / "none", STATUS_OBJECT_NAME_NOT_FOUND},
      {dir / "file/below", STATUS_OBJECT_PATH_NOT_FOUND},
      {dir.path(), STATUS_FILE_IS_A_DIRECTORY},
      {dir / "fifo", STATUS_PIPE_NOT_AVAILABLE},
      {dir / "link-to-fifo", STATUS_PIPE_NOT_AVAILABLE},
      {"/dev/null", STATUS_OBJECT_TYPE_MISMATCH},
      {dir / "socket", STATUS_IO_REPARSE_TAG_NOT_HANDLED},
  };
  for (const Case &c : cases) {
    HANDLE handle = nullptr;
    EXPECT_EQ(Open(c.path, &handle), c.status) << c.path;
    if (NT_SUCCESS(c.status)) {
      EXPECT_EQ(ZwClose(handle), STATUS_SUCCESS);
    }
  }
  close(s);
}

TEST(KernelFiles, SizeAndReadsToTheEndOrAnError) {
  kvtest::TempDir dir;
  kvtest::WriteText(dir / "file", "0123456789");
  HANDLE handle = nullptr;
  ASSERT_EQ(Open(dir / "file", &handle), STATUS_SUCCESS);
  FILE_STANDARD_INFORMATION info;
  IO_STATUS_BLOCK io;
  ASSERT_EQ(ZwQueryInformationFile(handle, &io, &info, sizeof info, FileStandardInformation), STATUS_SUCCESS);
  EXPECT_EQ(info.EndOfFile.QuadPart, 10);
  char buffer[8];
  LARGE_INTEGER offset;
  offset.QuadPart = 6;
  EXPECT_EQ(ZwReadFile(handle, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer, &offset, nullptr), STATUS_SUCCESS);
  EXPECT_EQ(std::string(buffer, io.Information), "6789");
  offset.QuadPart = 10;
  EXPECT_EQ(ZwReadFile(handle, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer, &offset, nullptr),
            STATUS_END_OF_FILE);
  EXPECT_EQ(io.Information, 0u);
  EXPECT_EQ(ZwClose(handle), STATUS_SUCCESS);
  EXPECT_EQ(ZwClose(handle), STATUS_INVALID_HANDLE);

  // A read that fails is an error, not the end of the file.
  ASSERT_EQ(Open("/proc/self/mem", &handle), STATUS_SUCCESS);
  offset.QuadPart = 0;
  EXPECT_EQ(ZwReadFile(handle, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer, &offset, nullptr),
            STATUS_IO_DEVICE_ERROR);
  ZwClose(handle);
}

// A file opened for appending is made when missing and written at its end, whoever else writes it; a
// device takes the writes too, and a failed write is an error.
TEST(KernelFiles, AppendsAtTheEnd) {
  kvtest::TempDir dir;
  HANDLE first = nullptr, second = nullptr, reader = nullptr;
  ULONG_PTR made = 0, opened = 0;
  ASSERT_EQ(Open(dir / "log", &first, FILE_APPEND_DATA, &made), STATUS_SUCCESS);
  ASSERT_EQ(Open(dir / "log", &second, FILE_APPEND_DATA, &opened), STATUS_SUCCESS);
  EXPECT_EQ(made, 2u);    // FILE_CREATED
  EXPECT_EQ(opened, 1u);  // FILE_OPENED
  EXPECT_EQ(Write(first, "one\n"), STATUS_SUCCESS);
  EXPECT_EQ(Write(second, "two\n"), STATUS_SUCCESS);
  EXPECT_EQ(Write(first, "three\n"), STATUS_SUCCESS);
  EXPECT_EQ(kvtest::ReadText(dir / "log"), "one\ntwo\nthree\n");
  ASSERT_EQ(Open(dir / "log", &reader), STATUS_SUCCESS);
  EXPECT_EQ(Write(reader, "four\n"), STATUS_ACCESS_DENIED) << "opened for reading";
  for (HANDLE handle : {first, second, reader}) ZwClose(handle);

  HANDLE full = nullptr;
  ASSERT_EQ(Open("/dev/full", &full, FILE_APPEND_DATA), STATUS_SUCCESS);
  EXPECT_EQ(Write(full, "lost\n"), STATUS_DISK_FULL);
  ZwClose(full);
  EXPECT_EQ(Open(dir.path(), &full, FILE_APPEND_DATA), STATUS_FILE_IS_A_DIRECTORY);
}

// The program's kernel has no firmware table and maps no physical memory: a driver serves configuration
// space through the HAL, that is sysfs, and never reaches this computer's memory.
TEST(Firmware, NoTableAndNoDeviceMemory) {
  SYSTEM_FIRMWARE_TABLE_INFORMATION query{};
  query.ProviderSignature = 0x41435049;  // 'ACPI'
  query.Action = SystemFirmwareTable_Get;
  query.TableID = 0x4746434d;  // MCFG
  ULONG returned = 0;
  EXPECT_EQ(ZwQuerySystemInformation(SystemFirmwareTableInformation, &query, sizeof query, &returned),
            STATUS_NOT_FOUND);
  PHYSICAL_ADDRESS ecam;
  ecam.QuadPart = 0xe0000000;
  EXPECT_EQ(MmMapIoSpace(ecam, 4096, MmNonCached), nullptr);
}

TEST(MachineVariable, SysfsForTheHalEverythingElseForTheDriverAndNothingThatNamesNoMachine) {
  struct Case { const char *text; Kind kind; const char *value, *root, *file; uint32_t domain; } cases[] = {
      {nullptr, Kind::kDefault, "", "", "", 0},
      {"sysfs", Kind::kSysfs, "", "/sys/bus/pci/devices", "", 0},
      {"sysfs:/tmp/d@0002", Kind::kSysfs, "", "/tmp/d", "", 2},
      {"demo@0001", Kind::kValue, "demo@0001", "", "", 1},
      {"/d/m.json", Kind::kValue, "/d/m.json", "", "/d/m.json", 0},
      {"/d/x@1.txt@10000", Kind::kValue, "/d/x@1.txt@10000", "", "/d/x@1.txt", 0x10000},
      {"Demo", Kind::kValue, "./Demo", "", "./Demo", 0},  // files, which the driver would read as its words
      {"hal@0003", Kind::kValue, "./hal@0003", "", "./hal", 3},
      {"sysfsdump.txt", Kind::kValue, "sysfsdump.txt", "", "sysfsdump.txt", 0},
  };
  for (const auto &c : cases) {
    kvplat::MachineVariable machine;
    std::string why;
    const std::string what = c.text ? c.text : "(unset)";
    ASSERT_TRUE(kvplat::ParseMachineVariable(c.text, &machine, &why)) << what;
    EXPECT_EQ(machine.kind, c.kind) << what;
    EXPECT_EQ(machine.value, c.value) << what;
    EXPECT_EQ(machine.sysfsRoot, c.root) << what;
    EXPECT_EQ(machine.file, c.file) << what;
    EXPECT_EQ(machine.domain, c.domain) << what;
  }
  // A domain without a machine, a sysfs without its folder: taken for "unset", they would serve this
  // computer's hardware.
  for (const char *text : {"", "@0000", "@0001", "@10000", "sysfs:", "sysfs:@0001"}) {
    kvplat::MachineVariable machine;
    std::string why;
    EXPECT_FALSE(kvplat::ParseMachineVariable(text, &machine, &why)) << text;
    EXPECT_NE(why.find("KELVORANT_MACHINE"), std::string::npos) << why;
  }
}

// The values Machine and Trace under a loaded driver's service key, as KELVORANT_MACHINE and
// KELVORANT_TRACE make them; the key is there while the driver is.
TEST(Registry, TheServiceKeyHoldsTheMachineAndTraceValues) {
  kvtest::EnvOverride env;
  kvtest::TempDir dir;
  env.Set("KV_FAKE_LOG", dir / "log");
  std::u16string path = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\RegistryTest";
  UNICODE_STRING key_name = Counted(path);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &key_name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
  HANDLE key = nullptr;
  EXPECT_EQ(ZwOpenKey(&key, KEY_READ, &attributes), STATUS_OBJECT_NAME_NOT_FOUND) << "no driver of that service";

  // The value's text, or "?" when there is none.
  const auto value_of = [&key](std::u16string name) -> std::u16string {
    UNICODE_STRING value_name = Counted(name);
    // The size first: a buffer of the fixed part gets STATUS_BUFFER_OVERFLOW and the length.
    KEY_VALUE_PARTIAL_INFORMATION header;
    ULONG length = 0;
    const NTSTATUS sized =
        ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, &header, sizeof header, &length);
    if (sized == STATUS_OBJECT_NAME_NOT_FOUND) return u"?";
    EXPECT_EQ(sized, STATUS_BUFFER_OVERFLOW);
    std::vector<unsigned char> whole(length);
    EXPECT_EQ(ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, whole.data(), length, &length),
              STATUS_SUCCESS);
    const auto *info = reinterpret_cast<const KEY_VALUE_PARTIAL_INFORMATION *>(whole.data());
    EXPECT_EQ(info->Type, static_cast<ULONG>(REG_SZ));
    std::u16string text(reinterpret_cast<const char16_t *>(info->Data), info->DataLength / 2);
    EXPECT_EQ(text.back(), u'\0') << "kept with its terminating zero";
    text.pop_back();
    return text;
  };
  struct Case {
    const char *machine;
    std::optional<std::string> trace;
    std::u16string machine_value, trace_value;
  } cases[] = {
      {"sysfs:/nowhere@0001", "/t/trace.txt", u"hal", u"/t/trace.txt"},
      {"/d/m\xc3\xa9.json", "", u"/d/m\u00e9.json", u"?"},
      {"demo", std::nullopt, u"demo", u"?"},
  };
  for (const Case &c : cases) {
    env.Set("KELVORANT_MACHINE", c.machine);
    env.Set("KELVORANT_TRACE", c.trace);
    ASSERT_EQ(kvplat::LoadDriver("RegistryTest", KV_FAKE_DRIVER), 0u);
    ASSERT_EQ(ZwOpenKey(&key, KEY_READ, &attributes), STATUS_SUCCESS);
    EXPECT_EQ(value_of(u"Machine"), c.machine_value);
    EXPECT_EQ(value_of(u"TRACE"), c.trace_value);
    EXPECT_EQ(value_of(u"Start"), u"?");
    ZwClose(key);
    EXPECT_EQ(kvplat::UnloadDriver("RegistryTest"), 0u);
  }
}

TEST(RtlStrings, Utf8AndUtf16BothWays) {
  struct Case { std::string utf8; std::u16string utf16; NTSTATUS status; } cases[] = {
      {"path/m.json", u"path/m.json", STATUS_SUCCESS},
      {"J\xc3\xb6rg \xe2\x82\xac \xf0\x9f\x98\x80", u"J\u00f6rg \u20ac \U0001F600", STATUS_SUCCESS},
      // A byte of no UTF-8 character is escaped, and comes back: a Linux name survives a Windows string.
      {"bad \xff end", u"bad \xdcff end", STATUS_SOME_NOT_MAPPED},
      {"cut \xe2\x82", u"cut \xdce2\xdc82", STATUS_SOME_NOT_MAPPED},
      {"overlong \xc0\xaf", u"overlong \xdcc0\xdcaf", STATUS_SOME_NOT_MAPPED},
      {"Latin-1 d\xe9", u"Latin-1 d\xdce9", STATUS_SOME_NOT_MAPPED},
  };
  for (const Case &c : cases) {
    ULONG bytes = 0;
    EXPECT_EQ(RtlUTF8ToUnicodeN(nullptr, 0, &bytes, c.utf8.data(), static_cast<ULONG>(c.utf8.size())), c.status);
    std::u16string wide(bytes / 2, u'\0');
    EXPECT_EQ(RtlUTF8ToUnicodeN(wide.data(), bytes, &bytes, c.utf8.data(), static_cast<ULONG>(c.utf8.size())), c.status);
    EXPECT_EQ(wide, c.utf16) << c.utf8;
    std::string narrow(c.utf8.size(), '\0');
    EXPECT_EQ(RtlUnicodeToUTF8N(narrow.data(), static_cast<ULONG>(narrow.size()), &bytes, wide.data(),
                                static_cast<ULONG>(wide.size() * 2)),
              c.status);
    EXPECT_EQ(narrow, c.utf8);
  }
  // Any other lone surrogate is U+FFFD, as Windows has it.
  const std::u16string lone = {u'a', char16_t{0xD800}, u'b', char16_t{0xDC41}};
  std::string narrow(16, '\0');
  ULONG length = 0;
  EXPECT_EQ(RtlUnicodeToUTF8N(narrow.data(), 16, &length, lone.data(), static_cast<ULONG>(lone.size() * 2)),
            STATUS_SOME_NOT_MAPPED);
  EXPECT_EQ(narrow.substr(0, length), "a\xef\xbf\xbd" "b\xef\xbf\xbd");
  char small[3];
  ULONG bytes = 0;
  const std::u16string text = u"abcdef";
  EXPECT_EQ(RtlUnicodeToUTF8N(small, sizeof small, &bytes, text.data(), 12), STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(bytes, 3u);
}

TEST(KernelMutex, OwnedRecursivelyAndOneOwnerAtATime) {
  KMUTEX mutex;
  KeInitializeMutex(&mutex, 0);
  ASSERT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
  ASSERT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
  bool entered = false;
  std::thread other([&] {
    KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
    entered = true;
    KeReleaseMutex(&mutex, FALSE);
  });
  KeReleaseMutex(&mutex, FALSE);
  EXPECT_FALSE(entered) << "still owned once";
  KeReleaseMutex(&mutex, FALSE);
  other.join();
  EXPECT_TRUE(entered);
}

// An ACL holds the ACEs its size has room for, each laid out as the kernel's: header, mask, SID.
TEST(RtlSecurity, AnAclHoldsWhatItsSizeHasRoomFor) {
  const unsigned char system[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};  // S-1-5-18
  unsigned char bad_sid[sizeof system];
  std::memcpy(bad_sid, system, sizeof system);
  bad_sid[0] = 2;
  const ULONG one_ace = sizeof(ACL) + 8 + sizeof system;
  struct Case { ULONG size, revision; const unsigned char *sid; NTSTATUS created, first, second; } cases[] = {
      {one_ace, ACL_REVISION, system, STATUS_SUCCESS, STATUS_SUCCESS, STATUS_ALLOTTED_SPACE_EXCEEDED},
      {one_ace + 20, ACL_REVISION, system, STATUS_SUCCESS, STATUS_SUCCESS, STATUS_SUCCESS},
      {one_ace - 4, ACL_REVISION, system, STATUS_SUCCESS, STATUS_ALLOTTED_SPACE_EXCEEDED, STATUS_ALLOTTED_SPACE_EXCEEDED},
      {one_ace, ACL_REVISION, bad_sid, STATUS_SUCCESS, STATUS_INVALID_SID, STATUS_INVALID_SID},
      {sizeof(ACL) - 1, ACL_REVISION, system, STATUS_BUFFER_TOO_SMALL, 0, 0},
      {one_ace, 1, system, STATUS_INVALID_PARAMETER, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes, revision " << c.revision);
    alignas(ULONG) unsigned char storage[128] = {};
    auto *acl = reinterpret_cast<ACL *>(storage);
    EXPECT_EQ(RtlCreateAcl(acl, c.size, c.revision), c.created);
    if (c.created != STATUS_SUCCESS) continue;
    PSID sid = const_cast<unsigned char *>(c.sid);
    EXPECT_EQ(RtlAddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid), c.first);
    EXPECT_EQ(RtlAddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid), c.second);
    EXPECT_EQ(acl->AceCount, (c.first == STATUS_SUCCESS) + (c.second == STATUS_SUCCESS));
    if (c.first != STATUS_SUCCESS) continue;
    const unsigned char ace[] = {ACCESS_ALLOWED_ACE_TYPE, 0, 20, 0, 0, 0, 0, 0x10};
    EXPECT_EQ(std::memcmp(storage + sizeof(ACL), ace, sizeof ace), 0);
    EXPECT_EQ(std::memcmp(storage + sizeof(ACL) + sizeof ace, system, sizeof system), 0);
  }
  SECURITY_DESCRIPTOR sd;
  EXPECT_EQ(RtlCreateSecurityDescriptor(&sd, 2), STATUS_UNKNOWN_REVISION);
}

TEST(DbgPrintEx, ErrorLevelLinesOnlyEscaped) {
  testing::internal::CaptureStderr();
  DbgPrintEx(DPFLTR_IHVDRIVER_ID, DPFLTR_ERROR_LEVEL, "KELVORANT.sys: %s %d\n", "shown", 1);
  DbgPrintEx(DPFLTR_IHVDRIVER_ID, DPFLTR_INFO_LEVEL, "KELVORANT.sys: serving the %s machine\n", "demo");
  DbgPrintEx(DPFLTR_IHVDRIVER_ID, DPFLTR_WARNING_LEVEL, "not shown\n");
  DbgPrintEx(DPFLTR_IHVDRIVER_ID, 0x80000001, "a mask with the error bit\n");
  DbgPrintEx(DPFLTR_IHVDRIVER_ID, DPFLTR_ERROR_LEVEL, "KELVORANT.sys: m.json: %s: unknown key\n", "\x1b]2;owned\x07");
  OutputDebugStringA("DDX_Control: \x1b[2J\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "kelvorant: KELVORANT.sys: shown 1\nkelvorant: a mask with the error bit\n"
            "kelvorant: KELVORANT.sys: m.json: \\x1b]2;owned\\x07: unknown key\n"
            "kelvorant: DDX_Control: \\x1b[2J\n");
}

// What a diagnostic quotes reaches a terminal with no control in it: C0, DEL, C1 (as UTF-8) and every byte
// outside well-formed UTF-8 as \xNN; printable text, in any script, as it is.
TEST(Diag, ControlsAndMalformedUtf8AreEscaped) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"plain ~ text, a back\\slash", "plain ~ text, a back\\slash"},
      {std::string("\0\t\n\r\x1b\x7f", 6), "\\x00\\x09\\x0a\\x0d\\x1b\\x7f"},
      {"\xc2\x9b" "2J \xc2\x80 \xc2\x9f", "\\xc2\\x9b2J \\xc2\\x80 \\xc2\\x9f"},  // C1: CSI and the range's ends
      {"\xc2\xa0\xc2\xb5 \xe2\x82\xac \xe6\x97\xa5 \xf0\x9d\x84\x9e \xf4\x8f\xbf\xbf",
       "\xc2\xa0\xc2\xb5 \xe2\x82\xac \xe6\x97\xa5 \xf0\x9d\x84\x9e \xf4\x8f\xbf\xbf"},  // up to U+10FFFF
      {"\x80 \xff\xfe \xc0\xaf", "\\x80 \\xff\\xfe \\xc0\\xaf"},  // a lone continuation, no lead, overlong
      {"\xe0\x80\xaf \xed\xa0\x80 \xf4\x90\x80\x80",  // overlong, a surrogate, above U+10FFFF
       "\\xe0\\x80\\xaf \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80"},
      {"\xe2\x82" "A \xe2\x82", "\\xe2\\x82A \\xe2\\x82"},  // cut short, within and at the end
  };
  for (const auto &c : cases) EXPECT_EQ(kvplat::EscapeForTerminal(c.text), c.shown) << testing::PrintToString(c.text);
}

}  // namespace
