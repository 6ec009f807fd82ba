#include "service_key.h"

#include <cstddef>
#include <memory>

namespace kvsys {

bool ReadServiceString(PUNICODE_STRING key_path, PCWSTR name, std::string *out) {
  out->clear();
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, key_path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
  HANDLE key = nullptr;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return false;

  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, name);
  // The size first, then the value: a path may be long.
  ULONG length = 0;
  KEY_VALUE_PARTIAL_INFORMATION header;
  NTSTATUS status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, &header, sizeof header, &length);
  std::unique_ptr<UCHAR[]> bytes;
  if (status == STATUS_BUFFER_OVERFLOW && length >= sizeof header) {
    bytes.reset(new UCHAR[length]);
    status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, bytes.get(), length, &length);
  }
  ZwClose(key);
  const auto *info = bytes ? reinterpret_cast<const KEY_VALUE_PARTIAL_INFORMATION *>(bytes.get()) : &header;
  if (!NT_SUCCESS(status) || (info->Type != REG_SZ && info->Type != REG_EXPAND_SZ)) return false;

  // The data as stored, up to its terminating zero when it has one.
  const auto *text = reinterpret_cast<const WCHAR *>(info->Data);
  ULONG chars = info->DataLength / sizeof(WCHAR);
  for (ULONG i = 0; i < chars; ++i) {
    if (text[i] == 0) chars = i;
  }
  ULONG utf8 = 0;
  RtlUnicodeToUTF8N(nullptr, 0, &utf8, text, chars * sizeof(WCHAR));
  out->resize(utf8);
  RtlUnicodeToUTF8N(out->data(), utf8, &utf8, text, chars * sizeof(WCHAR));
  out->resize(utf8);
  return true;
}

}  // namespace kvsys
