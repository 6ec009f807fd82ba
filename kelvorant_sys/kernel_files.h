// What the driver reads through the kernel: the files a machine is built from (ZwCreateFile,
// ZwQueryInformationFile, ZwReadFile), a dump line by line, a machine file whole, each within the bounds of
// core/read_limits.h; the opening of any other (its request trace's); its service key's values; and this
// computer's ECAM (kernel_ecam.cpp). A path is a Win32 path (C:\dumps\m.txt on Windows; on Linux the
// platform's paths are the Linux ones) and becomes the object name \??\PATH. Reasons are the texts a person
// knows from the shell: "cannot open: No such file or directory", "is a FIFO, not a regular file", "cannot
// read: Input/output error".
#pragma once
#include <string>

#include "core/machine_choice.h"
#include "wdk.h"

namespace kvsys {

class KernelTextFiles final : public TextFiles {
 public:
  bool ReadLines(const std::string &path, const std::function<bool(std::string_view)> &on_line,
                 std::string *why) override;
  bool ReadText(const std::string &path, std::string *text, std::string *why) override;
};

// Opens `path` with ZwCreateFile, synchronously and as no folder, for `access` (and SYNCHRONIZE); false
// with the reason in *why ("cannot open: Permission denied").
bool OpenKernelFile(const std::string &path, ACCESS_MASK access, ULONG share, ULONG disposition, HANDLE *handle,
                    std::string *why);

// Reads the string value `name` (REG_SZ or REG_EXPAND_SZ) of the key at `key_path` (the driver's service
// key, which the kernel names to DriverEntry) into *out, as UTF-8. False when the key or the value is missing
// or not a string.
bool ReadServiceString(PUNICODE_STRING key_path, PCWSTR name, std::string *out);

// The ranges of segment group 0 that the ACPI table MCFG maps (core/ecam.h), read through the firmware table
// interface, with MmMapIoSpace and the register routines to reach them; no ranges when the firmware has no
// MCFG (as under Wine), or when the table is malformed, which `say` reports in one line.
EcamSpace FindEcam(const std::function<void(const std::string &line)> &say);

// Why a file routine failed, in the words of the C library's strerror ("No such file or directory").
std::string FileErrorReason(NTSTATUS status);

}  // namespace kvsys
